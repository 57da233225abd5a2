#include <QDeadlineTimer>
#include <QSerialPort>
#include <QtTest>

#include "link/codec.h"
#include "support/simprocess.h"

// velmora-sim with several instruments on one line (--address 3,105): each
// answers its own address with its own parameters, nobody answers the rest.
namespace {

QByteArray frame(const QByteArray& hexBody) {
    return codec::componi_frame(QByteArray::fromHex(hexBody));
}

}  // namespace

class TestSimBus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void eachAddressAnswersAlone();
    void eachInstrumentKeepsItsOwnParameters();
    void badAddressListsAreRefused_data();
    void badAddressListsAreRefused();

private:
    // Sends a frame and collects what comes back up to a LF, or whatever
    // came before the deadline.
    QByteArray exchange(const QByteArray& request, int timeoutMs = 3000);

    std::unique_ptr<SimProcess> sim_;
    QSerialPort port_;
};

void TestSimBus::initTestCase() {
    sim_ = std::make_unique<SimProcess>(QStringList{QStringLiteral("--address"),
                                                    QStringLiteral("3,105")});
    QVERIFY2(sim_->start(), qPrintable(sim_->errorString()));
    port_.setPortName(sim_->ptyPath());
    QVERIFY(port_.open(QIODevice::ReadWrite));
}

void TestSimBus::cleanupTestCase() {
    port_.close();
    sim_.reset();
}

QByteArray TestSimBus::exchange(const QByteArray& request, int timeoutMs) {
    port_.readAll();
    port_.write(request);
    port_.waitForBytesWritten(1000);
    QByteArray got;
    const QDeadlineTimer deadline(timeoutMs);
    while (!got.contains('\n') && !deadline.hasExpired()) {
        if (port_.bytesAvailable() == 0)
            port_.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        got += port_.readAll();
    }
    return got;
}

void TestSimBus::eachAddressAnswersAlone() {
    const qsizetype mark = sim_->traffic().size();
    // The search probe (data base 256, one register) and the identification.
    // The probe's data is whatever the register holds: only who answered
    // with how many bytes matters.
    QVERIFY(exchange(frame("030401000001")).startsWith(":030402"));
    QVERIFY(exchange(frame("690401000001")).startsWith(":690402"));
    QCOMPARE(exchange(frame("690400050001")), frame("6904020C12"));
    // Neither the factory address nor any other answers.
    QCOMPARE(exchange(frame("010401000001"), 300), QByteArray());
    QCOMPARE(exchange(frame("070400050001"), 300), QByteArray());
    QVERIFY(sim_->waitForTraffic(static_cast<int>(mark) + 5));
    const QList<QJsonObject> records = sim_->traffic().mid(mark);
    QStringList answers;
    for (const QJsonObject& r : records)
        answers << QStringLiteral("%1 %2").arg(r.value(QStringLiteral("address")).toInt())
                       .arg(r.value(QStringLiteral("answer")).toString());
    QCOMPARE(answers, (QStringList{"3 reply", "105 reply", "105 reply", "1 ignored", "7 ignored"}));
}

void TestSimBus::eachInstrumentKeepsItsOwnParameters() {
    // The filter (register 22) of the instrument at 3 changes; 105 keeps its own.
    QCOMPARE(exchange(frame("030600160007")), frame("030600160007"));
    QCOMPARE(exchange(frame("030300160001")), frame("0303020007"));
    QCOMPARE(exchange(frame("690300160001")), frame("6903020005"));
    // The control channel drives the first instrument of the list.
    QCOMPARE(sim_->status().value(QStringLiteral("address")).toInt(), 3);
}

void TestSimBus::badAddressListsAreRefused_data() {
    QTest::addColumn<QString>("list");
    QTest::newRow("twice") << "3,3";
    QTest::newRow("above 127") << "3,200";
    QTest::newRow("zero") << "0";
    QTest::newRow("not a number") << "3,x";
    QTest::newRow("empty item") << "3,,5";
}

void TestSimBus::badAddressListsAreRefused() {
    QFETCH(QString, list);
    QProcess p;
    p.start(SimProcess::programPath(), {QStringLiteral("--address"), list});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(QString::fromLocal8Bit(p.readAllStandardError()).contains(QLatin1String("--address")));
    QVERIFY(p.readAllStandardOutput().isEmpty());
}

QTEST_MAIN(TestSimBus)
#include "tst_simbus.moc"

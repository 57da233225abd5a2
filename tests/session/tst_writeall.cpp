#include <QDateTime>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "services/backupfile.h"
#include "services/backupservice.h"
#include "session/requests.h"
#include "session/session.h"
#include "session/writepath.h"
#include "support/simrig.h"

// The write-all sequence of a restore and the factory reset, against
// velmora-sim over a pty, checked in the simulator's traffic file. One
// simulator for the whole executable.
class TestWriteAll : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void restoreWritesCalibrationAtItsBase();
    void restoreWithoutCalibrationFlag();
    void factoryReset_data();
    void factoryReset();

private:
    ParameterTable& table() { return rig_->session.table(); }
    QList<QJsonObject> writesSince(qsizetype mark) const {
        QList<QJsonObject> out;
        for (const QJsonObject& r : rig_->sim.traffic().mid(mark)) {
            const int f = r.value(QStringLiteral("function")).toInt();
            if (f == 0x06 || f == 0x10)
                out.append(r);
        }
        return out;
    }
    qsizetype mark() const { return rig_->sim.traffic().size(); }
    // A backup of the instrument's set, with `edit` applied to its image.
    QString backupWith(const QString& name, const std::function<void(QByteArray&)>& edit) {
        BackupService service(rig_->session);
        const QString path = dir_.filePath(name);
        QString error;
        if (!service.backup(path, &error)) {
            qWarning("%s", qPrintable(error));
            return QString();
        }
        QFile f(path);
        if (!f.open(QIODevice::ReadWrite))
            return QString();
        QByteArray bytes = f.readAll();
        edit(bytes);
        f.seek(0);
        f.write(bytes);
        return path;
    }
    void put16(QByteArray& bytes, int entry, int value) {
        const int at = table().entry(entry).imagePos;
        bytes[at] = static_cast<char>((value >> 8) & 0xFF);
        bytes[at + 1] = static_cast<char>(value & 0xFF);
    }
    static qint64 msOf(const QJsonObject& r) {
        return QDateTime::fromString(r.value(QStringLiteral("time")).toString(),
                                     Qt::ISODateWithMs)
            .toMSecsSinceEpoch();
    }
    static int firstValue(const QJsonObject& r) {
        return r.value(QStringLiteral("values")).toArray().at(0).toInt();
    }

    QTemporaryDir dir_;
    std::unique_ptr<SimRig> rig_;
    QString factoryFilter_;
};

void TestWriteAll::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    rig_ = std::make_unique<SimRig>();
    QVERIFY2(rig_->start(), qPrintable(rig_->sim.errorString()));
    QVERIFY(rig_->waitOnline(15000));
    QCOMPARE(table().count(1), 57);
    QCOMPARE(table().entry(ParameterTable::kCalibrationFlagEntry).name, QStringLiteral("CALFLAG"));
    factoryFilter_ = table().entry(15).value;
    QVERIFY(!factoryFilter_.isEmpty());
}

void TestWriteAll::cleanupTestCase() {
    rig_.reset();
}

void TestWriteAll::restoreWritesCalibrationAtItsBase() {
    ParameterTable& t = table();
    const int nSetup = t.setupCount();
    const int firstCal = t.count(1);
    const int nCal = t.calibrationCount();
    const int flag = ParameterTable::kCalibrationFlagEntry;
    // Calibration flag 2, which the instrument refuses (it takes 0 or 1), and
    // values of its own for the entries after the flag's.
    const QString path = backupWith(QStringLiteral("cal.mem"), [&](QByteArray& b) {
        put16(b, flag, 2);
        for (int i = flag + 1; i < t.entryCount(); ++i)
            if (ParameterTable::typeSize(t.entry(i).type) == 2)
                put16(b, i, 1000 + i);
    });
    QVERIFY(!path.isEmpty());

    BackupService service(rig_->session);
    QStringList questions;
    service.askContinue = [&](const QString& q) {
        questions << q;
        // The second try of the same entry goes through; a second failure
        // gives up rather than retrying for ever.
        t.entry(flag).value = QStringLiteral("1");
        return questions.size() == 1;
    };
    const qsizetype m = mark();
    QString error;
    QVERIFY2(service.restore(path, true, &error), qPrintable(error));
    QVERIFY(service.writeAllComplete);
    QCOMPARE(questions, QStringList{QStringLiteral("Communication error, continue?")});
    QVERIFY(!rig_->session.unsaved());

    const QList<QJsonObject> w = writesSince(m);
    int k = 0;
    for (int p = 0; p < nSetup; ++p, ++k) {
        QVERIFY2(k < w.size(), "setup writes missing");
        QCOMPARE(w[k].value(QStringLiteral("function")).toInt(), 0x10);
        QCOMPARE(w[k].value(QStringLiteral("register")).toInt(), t.entry(p).regOffset);
    }
    // Entry 0 once more; the pause before the save counts from it.
    QCOMPARE(w[k].value(QStringLiteral("register")).toInt(), t.entry(0).regOffset);
    const qint64 entry0Again = msOf(w[k++]);

    // Calibration entries at calibration base + offset, command 0x10; the
    // refused flag is sent again itself, never the data entry before it.
    QList<int> expectedEntries;
    for (int q = 0; q < nCal; ++q) {
        expectedEntries << firstCal + q;
        if (firstCal + q == flag)
            expectedEntries << flag;
    }
    QList<int> expected;
    for (int entry : expectedEntries)
        expected << t.calibrationBase + t.entry(entry).regOffset;
    QList<int> got;
    QStringList answers;
    for (; k < w.size() && w[k].value(QStringLiteral("register")).toInt() >= t.calibrationBase;
         ++k) {
        QCOMPARE(w[k].value(QStringLiteral("function")).toInt(), 0x10);
        const int entry = expectedEntries.value(got.size(), -1);
        got << w[k].value(QStringLiteral("register")).toInt();
        answers << w[k].value(QStringLiteral("answer")).toString();
        if (entry > flag && ParameterTable::typeSize(t.entry(entry).type) == 2)
            QCOMPARE(firstValue(w[k]), 1000 + entry);
    }
    QCOMPARE(got, expected);
    // Their echoes name registers far above 0x0500: none was taken for a
    // truncated reply, and only the refused flag went unacknowledged.
    QCOMPARE(answers.count(QStringLiteral("reply")), nCal);
    QCOMPARE(answers.count(QStringLiteral("exception")), 1);
    QVERIFY(rig_->home.logMessages().filter(QStringLiteral("TRUNC RX Error")).isEmpty());

    // Then 0x30 and, 2000 ms after entry 0 rather than after 0x30, the save.
    const int commandRegister = t.entry(t.findRole(6)).regOffset;
    QCOMPARE(w.size(), k + 2);
    QCOMPARE(w[k].value(QStringLiteral("register")).toInt(), commandRegister);
    QCOMPARE(firstValue(w[k]), 0x30);
    QCOMPARE(firstValue(w[k + 1]), 0x20);
    QVERIFY(msOf(w[k + 1]) - entry0Again >= 2000);
    QVERIFY(msOf(w[k + 1]) - msOf(w[k]) < 2000);

    // The instrument holds what was restored.
    const int lin = t.entryCount() - 2;
    t.entry(lin).value = QStringLiteral("0");
    QVERIFY(rig_->session.requests().leggi_parametro_esteso(lin).isAnswered());
    QCOMPARE(t.entry(lin).value, QString::number(1000 + lin));
}

void TestWriteAll::restoreWithoutCalibrationFlag() {
    ParameterTable& t = table();
    const QString path = backupWith(QStringLiteral("nocal.mem"), [&](QByteArray& b) {
        put16(b, ParameterTable::kCalibrationFlagEntry, 0);
    });
    QVERIFY(!path.isEmpty());
    BackupService service(rig_->session);
    service.askContinue = [](const QString&) { return false; };
    const qsizetype m = mark();
    QVERIFY(service.restore(path, true, nullptr));
    QVERIFY(service.writeAllComplete);
    const QList<QJsonObject> w = writesSince(m);
    QCOMPARE(w.size(), t.setupCount() + 2);  // setup, entry 0 again, save
    for (const QJsonObject& r : w)
        QVERIFY(r.value(QStringLiteral("register")).toInt() < t.calibrationBase);
    QCOMPARE(firstValue(w.last()), 0x20);
}

void TestWriteAll::factoryReset_data() {
    QTest::addColumn<QString>("typed");  // "-" for the factory page's button
    QTest::addColumn<int>("result");
    using R = BackupService::ResetResult;
    QTest::newRow("wrong code") << "30818" << int(R::WrongCode);
    QTest::newRow("not a number") << "3o817" << int(R::NotANumber);
    QTest::newRow("code") << "30817" << int(R::Reset);
    QTest::newRow("leading zeros") << "0030817" << int(R::Reset);
    QTest::newRow("factory page") << "-" << int(R::Reset);
}

void TestWriteAll::factoryReset() {
    QFETCH(QString, typed);
    QFETCH(int, result);
    Session& s = rig_->session;
    ParameterTable& t = table();
    QVERIFY(s.link().online);
    // A saved filter that only a reset takes back to its factory value.
    const QString changed = factoryFilter_ == QLatin1String("7") ? QStringLiteral("8")
                                                                 : QStringLiteral("7");
    QVERIFY(s.writePath().write(15, changed).isAnswered() || t.entry(15).value == changed);
    QVERIFY(s.requests().invia_comando(0x20).isAnswered());

    BackupService service(s);
    const qsizetype questions = rig_->view.questions.size();
    const qsizetype m = mark();
    const auto r = typed == QLatin1String("-") ? service.factoryReset() : service.factoryReset(typed);
    QCOMPARE(int(r), result);
    QCOMPARE(rig_->view.questions.size(), questions);  // never a message
    const QList<QJsonObject> w = writesSince(m);
    const int argRegister = t.entry(t.findRole(7)).regOffset;
    const int commandRegister = t.entry(t.findRole(6)).regOffset;

    t.entry(15).value = QStringLiteral("0");
    QVERIFY(s.requests().leggi_parametro(15, false).isAnswered());
    if (result != int(BackupService::ResetResult::Reset)) {
        QVERIFY(w.isEmpty());
        QCOMPARE(t.entry(15).value, changed);
        return;
    }
    // The code as a number in the command argument, then command 0x18.
    QCOMPARE(w.size(), 2);
    QCOMPARE(w[0].value(QStringLiteral("register")).toInt(), argRegister);
    QCOMPARE(w[0].value(QStringLiteral("values")).toArray(), QJsonArray{30817});
    QCOMPARE(w[1].value(QStringLiteral("register")).toInt(), commandRegister);
    QCOMPARE(firstValue(w[1]), 0x18);
    QCOMPARE(w[1].value(QStringLiteral("answer")).toString(), QStringLiteral("reply"));
    QCOMPARE(t.entry(15).value, factoryFilter_);
    QVERIFY(!s.link().parametri_caricati);
}

QTEST_GUILESS_MAIN(TestWriteAll)
#include "tst_writeall.moc"

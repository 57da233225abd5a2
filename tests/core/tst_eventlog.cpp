#include <QtTest>
#include <thread>

#include "base/eventlog.h"
#include "support/testhome.h"

class TestEventLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstLineAndFormat();
    void rotation_data();
    void rotation();
    void concurrentWritersNeverInterleave();
    void readOnlyFolderReportsError();
};

void TestEventLog::firstLineAndFormat() {
    TestHome home(false);
    QVERIFY(EventLog::log(QStringLiteral("Errore: Apertura della porta")));
    const QByteArray content = home.read(QStringLiteral("logfile.txt"));
    static const QRegularExpression re(
        QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d - Errore: Apertura della porta\r\n$"));
    QVERIFY2(re.match(QString::fromLatin1(content)).hasMatch(), content.constData());
}

void TestEventLog::rotation_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("rotates");
    QTest::newRow("over the limit at start") << 50001 << QStringLiteral("Applicazione: Avvio") << true;
    QTest::newRow("at the limit") << 50000 << QStringLiteral("Applicazione: Avvio") << false;
    QTest::newRow("other message") << 60000 << QStringLiteral("Applicazione: Chiusura") << false;
    QTest::newRow("other case") << 60000 << QStringLiteral("applicazione: avvio") << false;
}

void TestEventLog::rotation() {
    QFETCH(int, size);
    QFETCH(QString, message);
    QFETCH(bool, rotates);
    TestHome home(false);
    const QByteArray old(size, 'x');
    home.write(QStringLiteral("logfile.bak"), "older backup");
    home.write(QStringLiteral("logfile.txt"), old);
    QVERIFY(EventLog::log(message));
    const QByteArray now = home.read(QStringLiteral("logfile.txt"));
    if (rotates) {
        QCOMPARE(home.read(QStringLiteral("logfile.bak")), old);
        QCOMPARE(home.logMessages(), QStringList{message});
        QVERIFY(now.size() < 60);
    } else {
        QCOMPARE(home.read(QStringLiteral("logfile.bak")), QByteArray("older backup"));
        QVERIFY(now.startsWith(old));
        QVERIFY(now.endsWith(message.toLatin1() + "\r\n"));
    }
}

void TestEventLog::concurrentWritersNeverInterleave() {
    TestHome home(false);
    auto writer = [](char tag) {
        for (int i = 0; i < 300; ++i) EventLog::log(QStringLiteral("Errore: %1 %2").arg(QChar(tag)).arg(i));
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();
    const QStringList lines = home.logMessages();
    QCOMPARE(lines.size(), 600);
    static const QRegularExpression re(QStringLiteral("^Errore: [AB] \\d+$"));
    for (const QString& l : lines) QVERIFY2(re.match(l).hasMatch(), qPrintable(l));
    const QByteArray raw = home.read(QStringLiteral("logfile.txt"));
    QCOMPARE(raw.count("\r\n"), 600);
}

void TestEventLog::readOnlyFolderReportsError() {
    if (geteuid() == 0) {
        // Root writes through permission bits; an unwritable path stands in.
        TestHome home(false);
        QDir().mkpath(home.file(QStringLiteral("logfile.txt")));  // a folder where the file should be
        QVERIFY(!EventLog::log(QStringLiteral("Errore: x")));
        QVERIFY(!EventLog::lastError().isEmpty());
        return;
    }
    TestHome home(false);
    QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QVERIFY(!EventLog::log(QStringLiteral("Errore: x")));
    QVERIFY(!EventLog::lastError().isEmpty());
    QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"

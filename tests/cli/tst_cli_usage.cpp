#include <QtTest>

#include "clirun.h"

// What velmora-cli refuses before it touches a port: bad command lines
// (exit 2) and files it cannot use (exit 3), each said in one sentence.
class TestCliUsage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void refusedCommandLines_data();
    void refusedCommandLines();
    void refusedBeforeConnecting_data();
    void refusedBeforeConnecting();
    void jsonErrorDocument();
};

void TestCliUsage::refusedCommandLines_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"weigh"} << "unknown command \"weigh\"";
    QTest::newRow("unknown option")
        << QStringList{"info", "--speed", "9600"} << "unknown option \"--speed\"";
    QTest::newRow("missing operand")
        << QStringList{"set", "SETP1"} << "usage: velmora-cli set ROLE|NAME VALUE";
    QTest::newRow("extra operand") << QStringList{"info", "now"} << "info takes no operands";
    QTest::newRow("speed the port does not take")
        << QStringList{"info", "--baud", "1200"} << "--baud takes 9600";
    QTest::newRow("address out of range") << QStringList{"info", "--address", "128"}
                                          << "--address takes a whole number from 1 to 127";
    QTest::newRow("option of another command")
        << QStringList{"info", "--seconds", "3"} << "option --seconds does not apply to info";
    QTest::newRow("value missing")
        << QStringList{"info", "--port"} << "option --port needs a value";
    QTest::newRow("log without interval")
        << QStringList{"log", "w.csv"} << "log needs --interval S";
    QTest::newRow("log interval not a number")
        << QStringList{"log", "w.csv", "--interval", "x"} << "--interval takes a number of seconds";
    QTest::newRow("log count and seconds")
        << QStringList{"log", "w.csv", "--interval", "1", "--count", "3", "--seconds", "3"}
        << "log takes --count or --seconds, not both";
    QTest::newRow("log count not whole")
        << QStringList{"log", "w.csv", "--interval", "1", "--count", "2.5"}
        << "--count takes a whole number above 0";
    // The time-based stop counts whole seconds a line: below one it never ends.
    QTest::newRow("log seconds with a short interval")
        << QStringList{"log", "w.csv", "--interval", "0.5", "--seconds", "10"}
        << "--seconds needs an --interval of at least 1 second";
    QTest::newRow("watch seconds not positive")
        << QStringList{"watch", "--seconds", "0"} << "--seconds takes a positive number";
}

void TestCliUsage::refusedCommandLines() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    TestHome home;
    const CliResult r = runCli(QStringList{"--home", home.path()} + args);
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message.toUtf8()), r.describe());
    QVERIFY(r.out.isEmpty());
}

void TestCliUsage::refusedBeforeConnecting_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("withConfig");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    // No --port and a settings file that names none (its "NO").
    QTest::newRow("no port") << QStringList{"info"} << true << 2 << "no port given";
    QTest::newRow("port missing") << QStringList{"info", "--port", "/dev/velmora-none"} << true << 1
                                  << "no serial port at /dev/velmora-none";
    QTest::newRow("restore of a missing file")
        << QStringList{"restore", "absent.mem", "--port", "/dev/velmora-none"} << true << 3
        << "absent.mem: file not found";
    QTest::newRow("backup into a missing folder")
        << QStringList{"backup", "/nonexistent-folder/a.mem", "--port", "/dev/velmora-none"} << true
        << 3 << "the folder /nonexistent-folder does not exist";
    QTest::newRow("no definition files")
        << QStringList{"info", "--port", "/dev/null"} << false << 3 << "definition files not found";
}

void TestCliUsage::refusedBeforeConnecting() {
    QFETCH(QStringList, args);
    QFETCH(bool, withConfig);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    TestHome home(withConfig);
    const CliResult r = runCli(QStringList{"--home", home.path()} + args);
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message.toUtf8()), r.describe());
    // One sentence: a single line on stderr.
    QCOMPARE(r.err.count('\n'), 1);
}

void TestCliUsage::jsonErrorDocument() {
    TestHome home;
    const CliResult r =
        runCli({"--home", home.path(), "--json", "info", "--port", "/dev/velmora-none"});
    QCOMPARE(r.exitCode, 1);
    const QJsonObject doc = r.json();
    QCOMPARE(doc.value(QStringLiteral("exitCode")).toInt(), 1);
    QCOMPARE(doc.value(QStringLiteral("error")).toString(),
             QStringLiteral("no serial port at /dev/velmora-none"));
}

QTEST_GUILESS_MAIN(TestCliUsage)
#include "tst_cli_usage.moc"

#include <QJsonArray>
#include <QtTest>

#include "clirun.h"
#include "support/ser2netprocess.h"

// velmora-cli on network ports: every command takes both kinds, a
// malformed address is a usage error, `ports` lists the remembered ones.
class TestCliNetPort : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void malformedAddress_data();
    void malformedAddress();
    void nobodyListens();
    void overBothKinds_data();
    void overBothKinds();
    void portsListsRemembered();
};

void TestCliNetPort::malformedAddress_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("info") << QStringList{"info", "--port", "tcp://127.0.0.1"};
    QTest::newRow("read") << QStringList{"read", "--port", "rfc2217://:4000"};
    QTest::newRow("watch") << QStringList{"watch", "--port", "tcp://host:70000"};
    QTest::newRow("backup") << QStringList{"backup", "x.mem", "--port", "telnet://host:23"};
    QTest::newRow("ports") << QStringList{"ports", "--port", "tcp://a b:1"};
}

void TestCliNetPort::malformedAddress() {
    QFETCH(QStringList, args);
    TestHome home;
    const CliResult r = runCli(QStringList{"--home", home.path()} + args);
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("is not a network port: write tcp://HOST:PORT or rfc2217://HOST:PORT"),
             r.describe());
    QVERIFY(r.out.isEmpty());
}

void TestCliNetPort::nobodyListens() {
    TestHome home;
    const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2NetProcess::freePort());
    QElapsedTimer clock;
    clock.start();
    const CliResult r = runCli({"--home", home.path(), "info", "--port", address});
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("refused the connection"), r.describe());
    QVERIFY(clock.elapsed() < 10000);
}

void TestCliNetPort::overBothKinds_data() {
    QTest::addColumn<bool>("telnet");
    QTest::newRow("tcp") << false;
    QTest::newRow("rfc2217") << true;
}

void TestCliNetPort::overBothKinds() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    if (Ser2NetProcess::programPath().isEmpty())
        QSKIP("ser2net is not installed (Debian package ser2net; ./run test installs it)");
    QFETCH(bool, telnet);
    TestHome home;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Ser2NetProcess server;
    QVERIFY2(server.start(sim.ptyPath(), telnet), qPrintable(server.errorString()));
    const QStringList common{"--home", home.path(), "--port", server.address(), "--baud", "115200"};
    CliResult r = runCli(common + QStringList{"--json", "info"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("model").toString(), QStringLiteral("12"));
    QCOMPARE(r.json().value("port").toString(), server.address());
    // A write and its read-back, each a new connection to the server.
    r = runCli(common + QStringList{"--json", "set", "SETP2", "1234"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("answer").toString(), QStringLiteral("acknowledged"));
    r = runCli(common + QStringList{"get", "setp2"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.out, QByteArray("1234\n"));
}

void TestCliNetPort::portsListsRemembered() {
    TestHome home;
    // The fifteenth settings line: a malformed entry is dropped.
    QByteArray settings;
    for (const char* line : {"NO", "19200", "English", "0", "0", "0", "1", "", "", "", "15389113",
                             "1000", "0", "1000"})
        settings += QByteArray(line) + "\r\n";
    settings += "rfc2217://10.0.0.7:4001;tcp://bad;tcp://gw.plant:7000\r\n";
    home.write(QStringLiteral("ISetup.dat"), settings);
    const CliResult r = runCli({"--home", home.path(), "--json", "ports"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QStringList network;
    for (const QJsonValue& v : r.json().value("ports").toArray())
        if (v.toObject().value("network").toBool())
            network << v.toObject().value("port").toString();
    QCOMPARE(network, (QStringList{"rfc2217://10.0.0.7:4001", "tcp://gw.plant:7000"}));
    QVERIFY(home.logMessages().isEmpty());
}

QTEST_MAIN(TestCliNetPort)
#include "tst_cli_netport.moc"

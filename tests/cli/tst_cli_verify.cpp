#include <QJsonArray>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "clirun.h"

// verify from a terminal: the person at the scale is played by the test,
// which puts each load on through the simulator's control channel and then
// presses Enter.
class TestCliVerify : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void verdicts_data();
    void verdicts();
    void certificateInTheChosenLanguage();
    void repeatability_data();
    void repeatability();
    void usageErrors_data();
    void usageErrors();

private:
    // Runs verify to its end, answering every "Load N and press Enter".
    // `beforeLoad`, when given, runs with the prompt's index before the load goes on.
    CliResult runVerify(SimProcess& sim, const TestHome& home, const QStringList& options,
                        QStringList* prompted, const std::function<void(int)>& beforeLoad = {});
};

void TestCliVerify::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
}

CliResult TestCliVerify::runVerify(SimProcess& sim, const TestHome& home,
                                   const QStringList& options, QStringList* prompted,
                                   const std::function<void(int)>& beforeLoad) {
    QProcess cli;
    cli.start(cliPath(),
              QStringList{"--home", home.path(), "--port", sim.ptyPath(), "verify"} + options);
    CliResult r;
    if (!cli.waitForStarted(10000))
        return r;
    static const QRegularExpression prompt(QStringLiteral("Load (\\S+) and press Enter\\n"));
    QByteArray err;
    qsizetype seen = 0;
    const QDeadlineTimer deadline(120000);
    while (cli.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        cli.waitForReadyRead(50);
        err += cli.readAllStandardError();
        r.out += cli.readAllStandardOutput();
        QRegularExpressionMatch m = prompt.match(QString::fromLocal8Bit(err), seen);
        if (m.hasMatch()) {
            seen = m.capturedEnd();
            if (beforeLoad)
                beforeLoad(static_cast<int>(prompted->size()));
            prompted->append(m.captured(1));
            // The load goes on, then the technician presses Enter.
            if (!sim.send(QStringLiteral("load ") + m.captured(1)).startsWith(QLatin1String("OK")))
                break;
            cli.write("\n");
        }
    }
    if (cli.state() != QProcess::NotRunning) {
        cli.kill();
        cli.waitForFinished(3000);
        return r;
    }
    r.finished = true;
    r.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    r.out += cli.readAllStandardOutput();
    r.err = err + cli.readAllStandardError();
    return r;
}

void TestCliVerify::verdicts_data() {
    QTest::addColumn<QString>("errorCurve");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("csv");
    // The maximum weight is 2000 kg in 1 kg divisions: the default loads.
    QTest::newRow("default loads, exact") << "off" << QStringList{} << 0
                                          << QByteArray(
                                                 "applied;shown;error;tolerance;verdict\n"
                                                 "0;0;0;0.5;pass\n"
                                                 "500;500;0;0.5;pass\n"
                                                 "1000;1000;0;1.0;pass\n"
                                                 "1500;1500;0;1.0;pass\n"
                                                 "2000;2000;0;1.0;pass\n"
                                                 "1500;1500;0;1.0;pass\n"
                                                 "1000;1000;0;1.0;pass\n"
                                                 "500;500;0;0.5;pass\n"
                                                 "0;0;0;0.5;pass\n");
    // 2 e too heavy at 1500 kg (75 %): outside ±1 e, both ways.
    const QByteArray failing(
        "applied;shown;error;tolerance;verdict\n"
        "0;0;0;0.5;pass\n"
        "1500;1502;2;1.0;fail\n"
        "2000;2000;0;1.0;pass\n"
        "1500;1502;2;1.0;fail\n"
        "0;0;0;0.5;pass\n");
    QTest::newRow("75 % off by 2 e")
        << "1000:0,1500:2,2000:0" << QStringList{"--loads", "0,1500,2000"} << 1 << failing;
    // In service the same scale passes: ±2 e.
    QByteArray inService = failing;
    inService.replace("1.0;fail", "2.0;pass").replace("0.5;pass", "1.0;pass");
    inService.replace("2000;2000;0;1.0", "2000;2000;0;2.0");
    QTest::newRow("in service doubles the tolerance")
        << "1000:0,1500:2,2000:0" << QStringList{"--loads", "0,1500,2000", "--in-service"} << 0
        << inService;
}

void TestCliVerify::verdicts() {
    QFETCH(QString, errorCurve);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, csv);
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim({"--noise", "0"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    // The platform swings a while after each load: stable must be waited for.
    QCOMPARE(sim.send("settle 400"), QStringLiteral("OK settle 400"));
    QVERIFY(sim.send("error " + errorCurve).startsWith("OK"));
    const QString csvPath = dir.filePath("readings.csv");
    QStringList prompted;
    const CliResult r =
        runVerify(sim, home, options + QStringList{"--json", "--csv", csvPath}, &prompted);
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(r.exitCode, exitCode);
    QFile file(csvPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), csv);
    QCOMPARE(prompted.size(), csv.count('\n') - 1);
    const QJsonObject doc = r.json();
    QCOMPARE(doc.value("verdict").toString(), exitCode == 0 ? "pass" : "fail");
    const QJsonArray rows = doc.value("rows").toArray();
    QCOMPARE(rows.size(), prompted.size());
    QCOMPARE(rows.first().toObject().value("direction").toString(), "up");
    QCOMPARE(rows.last().toObject().value("direction").toString(), "down");
    QCOMPARE(strayFiles(dir.path(), {"readings.csv"}), QStringList());
}

void TestCliVerify::certificateInTheChosenLanguage() {
    TestHome home;
    // The language files lie in the shipped folder, which --home names too.
    QVERIFY(QFile::copy(VELMORA_SOURCE_DIR "/languages/Deutsch.lng", home.file("Deutsch.lng")));
    QTemporaryDir dir;
    SimProcess sim({"--noise", "0"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(sim.send("error 1000:0,1500:2,2000:0").startsWith("OK"));
    const QString pdf = dir.filePath("certificate.pdf");
    QStringList prompted;
    const CliResult r = runVerify(sim, home,
                                  {"--loads", "0,1500", "--certificate", pdf, "--language",
                                   "Deutsch", "--technician", "Anna Lenz", "--tag", "WAAGE-7"},
                                  &prompted);
    QVERIFY2(r.finished, r.describe());
    // A failed verification still leaves its record.
    QCOMPARE(r.exitCode, 1);
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("%PDF"));
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed: the PDF's text is not checked");
    QProcess p;
    p.start(pdftotext, {"-layout", pdf, "-"});
    QVERIFY(p.waitForFinished(20000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* expected : {"Kalibrier", "Anna Lenz", "WAAGE-7", "DATV1218.def", "1502"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)),
                 qPrintable(QString::fromUtf8(expected) + " missing from:\n" + text));
    // The verdict, in German, and the second page with the setup entries.
    QVERIFY2(text.contains("Nicht bestanden"), qPrintable(text));
    QVERIFY2(text.contains(QChar('\f')), qPrintable(text));
    // No reference weights were entered: said so, not "not read".
    QVERIFY2(text.contains("keine angegeben"), qPrintable(text));
    // The second page lists the entries as the pages show them: the scale
    // division as its item, the sensitivity in mV/V with four decimals.
    const QString setup = text.mid(text.indexOf(QChar('\f')));
    for (const auto& [name, shown] : {std::pair{"DIVIS", "1"}, std::pair{"SENS", "2.0000"}}) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("\\b%1\\s+(\\S+)").arg(QLatin1String(name)))
                .match(setup);
        QVERIFY2(m.hasMatch(), qPrintable(setup));
        QCOMPARE(m.captured(1), QString::fromLatin1(shown));
    }
}

void TestCliVerify::repeatability_data() {
    QTest::addColumn<bool>("shifted");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("spread");
    QTest::addColumn<QString>("verdict");
    // 1000 kg in 1 kg divisions: ±1 e. The third reading 2 e heavier
    // spreads the three by 2 kg.
    QTest::newRow("steady") << false << 0 << "0"
                            << "pass";
    QTest::newRow("third reading 2 e off") << true << 1 << "2"
                                           << "fail";
}

void TestCliVerify::repeatability() {
    QFETCH(bool, shifted);
    QFETCH(int, exitCode);
    QFETCH(QString, spread);
    QFETCH(QString, verdict);
    TestHome home;
    SimProcess sim({"--noise", "0"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QStringList prompted;
    // Loads 0, 1000, 0, then 1000 three times: the last is the sixth prompt.
    const CliResult r = runVerify(sim, home, {"--loads", "0,1000", "--repeat", "1000", "--json"},
                                  &prompted, [&](int index) {
                                      if (shifted && index == 5)
                                          QVERIFY(sim.send("error 0:2,2000:2").startsWith("OK"));
                                  });
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(prompted, (QStringList{"0", "1000", "0", "1000", "1000", "1000"}));
    QCOMPARE(r.exitCode, exitCode);
    const QJsonObject doc = r.json();
    // The verification rows pass either way; only the repeatability decides.
    for (const QJsonValue& row : doc.value("rows").toArray())
        QCOMPARE(row.toObject().value("verdict").toString(), "pass");
    const QJsonObject check = doc.value("repeatability").toObject();
    QCOMPARE(check.value("load").toString(), "1000");
    QCOMPARE(check.value("readings").toArray().size(), 3);
    QCOMPARE(check.value("spread").toString(), spread);
    QCOMPARE(check.value("tolerance").toString(), "1.0");
    QCOMPARE(check.value("verdict").toString(), verdict);
    QCOMPARE(doc.value("verdict").toString(), verdict);
}

void TestCliVerify::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("class") << QStringList{"--class", "V"} << "--class takes II, III or IIII";
    QTest::newRow("negative load") << QStringList{"--loads", "0,-5"} << "--loads takes";
    QTest::newRow("decimal comma") << QStringList{"--loads", "0;2,5"} << "--loads takes";
    QTest::newRow("operand") << QStringList{"now"} << "verify takes no operands";
    QTest::newRow("repeat two loads") << QStringList{"--repeat", "500,1000"} << "--repeat takes";
    QTest::newRow("repeat no number") << QStringList{"--repeat", "half"} << "--repeat takes";
    QTest::newRow("no folder") << QStringList{"--csv", "/nonexistent/x.csv"} << "does not exist";
}

void TestCliVerify::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    TestHome home;
    const CliResult r =
        runCli(QStringList{"--home", home.path(), "--port", "/dev/null", "verify"} + args);
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message.toLocal8Bit()), r.describe());
}

QTEST_GUILESS_MAIN(TestCliVerify)
#include "tst_cli_verify.moc"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "clirun.h"

// watch and log: the live weight as the display shows it, the logger's file
// and stop rules, and a link that comes and goes under a running watch.
class TestCliLive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void watchShowsTheDisplay_data();
    void watchShowsTheDisplay();
    void watchStopsOnCtrlC();
    void watchRidesOutAnUnplug();
    void secondsHoldDuringAReconnection();
    void logFileAndStopRules();
    void firstLoggedWeightCarriesItsSign();

private:
    QStringList common(const QString& port, const TestHome& home) const {
        return {"--home", home.path(), "--port", port};
    }
};

void TestCliLive::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
}

void TestCliLive::watchShowsTheDisplay_data() {
    QTest::addColumn<QString>("load");
    QTest::addColumn<QString>("weight");
    QTest::addColumn<bool>("overload");
    QTest::newRow("37 kg") << "37"
                           << "37" << false;
    // Above the maximum weight the display shows the overload text.
    QTest::newRow("overload") << "3000"
                              << " O-L " << true;
}

void TestCliLive::watchShowsTheDisplay() {
    QFETCH(QString, load);
    QFETCH(QString, weight);
    QFETCH(bool, overload);
    TestHome home;
    SimProcess sim({"--noise", "0", "--load", load});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const CliResult r =
        runCli(common(sim.ptyPath(), home) + QStringList{"--json", "watch", "--seconds", "1.5"});
    QVERIFY2(r.exitCode == 0, r.describe());
    const QList<QJsonObject> docs = r.documents();
    QVERIFY2(!docs.isEmpty(), r.describe());
    const QJsonObject settled = docs.last();
    QCOMPARE(settled.value("online").toBool(), true);
    QCOMPARE(settled.value("weight").toString(), weight);
    QCOMPARE(settled.value("overload").toBool(), overload);
    QCOMPARE(settled.value("stable").toBool(), true);
    QCOMPARE(settled.value("outOfRange").toBool(), false);
}

void TestCliLive::watchStopsOnCtrlC() {
    TestHome home;
    SimProcess sim({"--noise", "0", "--load", "5"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    CliChild child(common(sim.ptyPath(), home) + QStringList{"watch"});
    // Polls reach the instrument once the read-out is over.
    QVERIFY(
        waitForRecord(sim, [](const QJsonObject& t) { return t.value("function").toInt() == 7; }));
    QTest::qWait(300);
    child.signal(SIGINT);
    const CliResult r = child.wait();
    // Ctrl+C is how a watch ends: a normal stop, not an interrupted job.
    QVERIFY2(r.exitCode == 0, r.describe());
    QVERIFY2(r.out.startsWith("5"), r.describe());
}

void TestCliLive::watchRidesOutAnUnplug() {
    TestHome home;
    QTemporaryDir dir;
    // A stable name across the replug, as /dev/serial/by-id gives an adapter.
    const QString link = dir.filePath("velmora-port");
    SimProcess sim({"--noise", "0", "--load", "5", "--link", link});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    CliChild child(common(link, home) + QStringList{"--json", "watch", "--seconds", "8"});
    // A whole poll cycle (it starts at the status byte): a live weight has
    // been shown before the cable goes.
    auto statusPolls = [&sim] {
        int n = 0;
        for (const QJsonObject& t : sim.traffic())
            n += t.value("function").toInt() == 7 ? 1 : 0;
        return n;
    };
    QTRY_VERIFY_WITH_TIMEOUT(statusPolls() >= 2, 10000);
    QVERIFY(sim.send("unplug").startsWith("OK"));
    QTest::qWait(500);
    QVERIFY(sim.send("replug").startsWith("OK"));
    const CliResult r = child.wait();
    QVERIFY2(r.exitCode == 0, r.describe());
    // Online, then offline while the cable was out, then online again.
    QStringList states;
    for (const QJsonObject& d : r.documents()) {
        const QString s = d.value("online").toBool() ? QStringLiteral("on") : QStringLiteral("off");
        if (states.isEmpty() || states.last() != s)
            states << s;
    }
    QCOMPARE(states, QStringList({"on", "off", "on"}));
    QCOMPARE(r.documents().last().value("weight").toString(), QStringLiteral("5"));
}

void TestCliLive::firstLoggedWeightCarriesItsSign() {
    // The sign comes from the status byte: the first line after connecting
    // must already have it.
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim({"--noise", "0", "--load", "-12"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString path = dir.filePath("negative.csv");
    const CliResult r = runCli(common(sim.ptyPath(), home) +
                               QStringList{"log", path, "--interval", "0.2", "--count", "2"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QVERIFY(lines.size() >= 2);
    QVERIFY2(lines[0].endsWith(";-12\r"), lines[0].constData());
    QVERIFY2(lines[1].endsWith(";-12\r"), lines[1].constData());
}

void TestCliLive::secondsHoldDuringAReconnection() {
    // Slow replies make the read-out of a reconnection last several
    // seconds; the limit passes inside it and must end it there, not after
    // every entry has been read again.
    TestHome home;
    QTemporaryDir dir;
    const QString link = dir.filePath("velmora-port");
    SimProcess sim({"--noise", "0", "--load", "5", "--link", link, "--delay-ms", "150"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    CliChild child(common(link, home) + QStringList{"--json", "watch", "--seconds", "6"});
    QVERIFY(waitForRecord(
        sim, [](const QJsonObject& t) { return t.value("function").toInt() == 7; }, 30000));
    QVERIFY(sim.send("unplug").startsWith("OK"));
    QTest::qWait(300);
    const qsizetype replugged = sim.traffic().size();
    QVERIFY(sim.send("replug").startsWith("OK"));
    const CliResult r = child.wait();
    QVERIFY2(r.exitCode == 0, r.describe());
    int reads = 0;
    for (const QJsonObject& t : sim.traffic().mid(replugged))
        reads += t.value("function").toInt() == 3 ? 1 : 0;
    int setupEntries = 0;
    for (const QJsonObject& t : sim.traffic().mid(0, replugged))
        setupEntries += t.value("function").toInt() == 3 ? 1 : 0;
    QVERIFY2(reads > 0, "the reconnection never started");
    QVERIFY2(
        reads < setupEntries,
        qPrintable(QStringLiteral("%1 of %2 entries read again").arg(reads).arg(setupEntries)));
}

void TestCliLive::logFileAndStopRules() {
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim({"--noise", "0", "--load", "12"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString path = dir.filePath("weights.csv");
    const QRegularExpression line(QStringLiteral("^[^;\\r\\n]+;\\d\\d:\\d\\d:\\d\\d;12\\r$"));
    auto lines = [&] {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QList<QByteArray>();
        QList<QByteArray> all = f.readAll().split('\n');
        if (!all.isEmpty() && all.last().isEmpty())
            all.removeLast();
        return all;
    };

    // Number of logs: exactly that many lines, CR LF ended, date;time;weight.
    CliResult r = runCli(common(sim.ptyPath(), home) +
                         QStringList{"--json", "log", path, "--interval", "0.2", "--count", "3"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(lines().size(), 3);
    for (const QByteArray& l : lines())
        QVERIFY2(line.match(QString::fromLocal8Bit(l)).hasMatch(), l.constData());
    QCOMPARE(r.json().value("added").toInteger(), 3);
    QCOMPARE(r.json().value("stoppedBy").toString(), QStringLiteral("count"));

    // An existing file: refused when nobody can say what to do with it...
    r = runCli(common(sim.ptyPath(), home) +
               QStringList{"log", path, "--interval", "0.2", "--count", "1"});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(lines().size(), 3);
    // ...appended to: the stop counts only the new lines, the total all of them...
    r = runCli(common(sim.ptyPath(), home) +
               QStringList{"--json", "log", path, "--interval", "0.2", "--count", "2", "--append"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(lines().size(), 5);
    QCOMPARE(r.json().value("lines").toInteger(), 5);
    // ...or emptied; time based: one line a second for two seconds.
    r = runCli(common(sim.ptyPath(), home) +
               QStringList{"--json", "log", path, "--interval", "1", "--seconds", "2", "--yes"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(lines().size(), 2);
    QCOMPARE(r.json().value("stoppedBy").toString(), QStringLiteral("seconds"));
}

QTEST_GUILESS_MAIN(TestCliLive)
#include "tst_cli_live.moc"

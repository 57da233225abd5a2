// A test always ends: closing the window, offline mode, a link that drops
// while a test runs, and the command line each put the instrument back to
// normal operation (role 8 := 0), checked on the simulator's traffic file
// and its own state.
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include "boxwatcher.h"
#include "cli/clirun.h"
#include "testmodes.h"
#include "window/navigator.h"
#include "window/onoffswitch.h"
#include "window/searchdialog.h"
#include "windowfixture.h"

namespace {
constexpr int kOnlineMs = 20000;
constexpr int kModeRole = 8;

int simTestMode(SimProcess& sim) {
    return sim.status().value(QStringLiteral("testMode")).toInt(-1);
}
}  // namespace

class TestTestSend : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void closingTheWindowEndsTheOutputTest();
    void offlineModeEndsTheTest();
    void searchDialogEndsTheTest();
    void reconnectionEndsATestTheLinkDroppedDuring_data();
    void reconnectionEndsATestTheLinkDroppedDuring();
    void commandLineTestModeEndsWithTheCommand();
};

namespace {

bool connected(WindowFixture& f) {
    return QTest::qWaitFor(
        [&] { return f.session().link().online && f.session().link().parametri_caricati; },
        kOnlineMs);
}

// Output 1 switched on from the test page: the instrument is in mode 5.
bool startOutputTest(WindowFixture& f) {
    f.form->navigator().pageButtonClick(11);
    const int mark = lastSeq(*f.sim);
    f.control<OnOffSwitch>("SLOut1")->click();
    return QTest::qWaitFor([&] { return writesAfter(*f.sim, mark).size() == 4; }, 5000) &&
           f.session().outputTest && simTestMode(*f.sim) == 5;
}

}  // namespace

void TestTestSend::closingTheWindowEndsTheOutputTest() {
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QVERIFY(connected(f));
    QVERIFY(startOutputTest(f));
    const int reg = registerOfRole(f.session().table(), kModeRole);
    const int mark = lastSeq(*f.sim);

    BoxWatcher boxes(BoxWatcher::No);
    QVERIFY(f.form->close());
    // Written and answered while the link still ran: nothing is owed.
    QCOMPARE(writesAfter(*f.sim, mark), (QList<SeenWrite>{{6, reg, 0}}));
    QVERIFY(!f.session().testRunning());
    QVERIFY(!f.session().testEndOwed());
    QVERIFY(!f.session().port().isOpen());
    QCOMPARE(simTestMode(*f.sim), 0);
    // Test writes are no unsaved change: the close asks nothing.
    QCOMPARE(boxes.texts(), QStringList{});
}

void TestTestSend::offlineModeEndsTheTest() {
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QVERIFY(connected(f));
    f.form->navigator().pageButtonClick(13);
    const int reg = registerOfRole(f.session().table(), kModeRole);
    int mark = lastSeq(*f.sim);
    f.control<QPushButton>("bttestana")->click();
    f.control<QSlider>("TBAnalog")->setValue(40);
    QTRY_COMPARE_WITH_TIMEOUT(simTestMode(*f.sim), 6, 5000);
    QVERIFY(f.session().analogTest);

    mark = lastSeq(*f.sim);
    f.form->offlineModeAction()->trigger();
    QVERIFY(f.session().link().modo_offline);
    QCOMPARE(writesAfter(*f.sim, mark), (QList<SeenWrite>{{6, reg, 0}}));
    QVERIFY(!f.session().testRunning());
    QCOMPARE(simTestMode(*f.sim), 0);
    QVERIFY(!f.session().port().isOpen());
    QVERIFY(!f.session().unsaved());

    // Back online: nothing more is owed, so nothing more is written to role 8.
    mark = lastSeq(*f.sim);
    f.form->offlineModeAction()->trigger();
    QVERIFY(connected(f));
    QTest::qWait(300);
    for (const SeenWrite& w : writesAfter(*f.sim, mark))
        QVERIFY(w.reg != reg);
}

// The search dialog takes the line for its probes: the output test ends
// before it does.
void TestTestSend::searchDialogEndsTheTest() {
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QVERIFY(connected(f));
    QVERIFY(startOutputTest(f));
    const int reg = registerOfRole(f.session().table(), kModeRole);
    const int mark = lastSeq(*f.sim);

    f.form->searchDialog().showSearch(false);
    QVERIFY(f.form->searchDialog().isVisible());
    QCOMPARE(writesAfter(*f.sim, mark), (QList<SeenWrite>{{6, reg, 0}}));
    QVERIFY(!f.session().testRunning());
    QCOMPARE(simTestMode(*f.sim), 0);
    QVERIFY(!f.session().unsaved());
    f.form->searchDialog().close();
}

void TestTestSend::reconnectionEndsATestTheLinkDroppedDuring_data() {
    QTest::addColumn<bool>("pageChangeWhileUnplugged");
    QTest::newRow("test still running at the reconnection") << false;
    QTest::newRow("end owed since a page change could not send it") << true;
}

void TestTestSend::reconnectionEndsATestTheLinkDroppedDuring() {
    QFETCH(bool, pageChangeWhileUnplugged);
    QTemporaryDir linkDir;
    const QString link = linkDir.filePath(QStringLiteral("ttyVELMORA"));
    WindowFixture f;
    QVERIFY2(f.startSim({QStringLiteral("--link"), link}), qPrintable(f.sim->errorString()));
    f.writeSettings(link);
    QVERIFY(f.start());
    QVERIFY(connected(f));
    QVERIFY(startOutputTest(f));
    const int reg = registerOfRole(f.session().table(), kModeRole);
    Session& s = f.session();

    QCOMPARE(f.sim->send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    QTRY_VERIFY_WITH_TIMEOUT(!s.link().online, 10000);
    if (pageChangeWhileUnplugged) {
        f.form->navigator().pageButtonClick(12);
        QVERIFY(!s.testRunning());
        QVERIFY(s.testEndOwed());
    } else {
        QVERIFY(s.outputTest);
    }
    // The instrument itself stayed in the output test.
    QCOMPARE(simTestMode(*f.sim), 5);

    const int mark = lastSeq(*f.sim);
    QVERIFY(f.sim->send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QVERIFY(connected(f));
    QTRY_COMPARE_WITH_TIMEOUT(simTestMode(*f.sim), 0, 5000);
    QList<SeenWrite> modeWrites;
    for (const SeenWrite& w : writesAfter(*f.sim, mark))
        if (w.reg == reg)
            modeWrites << w;
    QCOMPARE(modeWrites, (QList<SeenWrite>{{6, reg, 0}}));
    QVERIFY(!s.testRunning());
    QVERIFY(!s.testEndOwed());
    QVERIFY(!s.unsaved());
}

void TestTestSend::commandLineTestModeEndsWithTheCommand() {
    TestHome home;
    SimProcess sim({QStringLiteral("--home"), home.path()});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const ParameterTable t = definition1218();
    const int reg = registerOfRole(t, kModeRole);
    const CliResult r =
        runCli({"--home", home.path(), "--port", sim.ptyPath(), "--json", "set", "8", "5"});
    QVERIFY2(r.finished && r.exitCode == 0, r.describe().constData());
    // The test mode went out and was ended before the command let go of the line.
    QList<SeenWrite> modeWrites;
    for (const SeenWrite& w : writesAfter(sim, 0))
        if (w.reg == reg)
            modeWrites << w;
    QCOMPARE(modeWrites, (QList<SeenWrite>{{6, reg, 5}, {6, reg, 0}}));
    QCOMPARE(simTestMode(sim), 0);
    // A test mode is no setting to save.
    QCOMPARE(r.json().value(QStringLiteral("unsaved")).toBool(), false);
}

QTEST_MAIN(TestTestSend)
#include "tst_testsend.moc"

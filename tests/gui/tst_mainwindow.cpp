// The main window against the virtual instrument: start-up, live weight,
// status bar, losing and finding the instrument, page changes during a
// test, and the close sequence.
#include <signal.h>
#include <QLabel>
#include <QToolButton>
#include <QValueAxis>
#include <QtTest>

#include "boxwatcher.h"
#include "session/connection.h"
#include "base/eventlog.h"
#include "session/writepath.h"
#include "window/homepage.h"
#include "window/indicatorpanel.h"
#include "window/navigator.h"
#include "window/statuspanels.h"
#include "window/topstrip.h"
#include "window/weightchart.h"
#include "window/windowpresenter.h"
#include "windowfixture.h"

namespace {
constexpr int kOnlineMs = 20000;

QString shownWeight(WindowFixture& f) {
    return f.control<QLabel>("LbPeso")->text();
}

bool waitOnline(WindowFixture& f, bool online, int ms = kOnlineMs) {
    return QTest::qWaitFor([&] { return f.session().link().online.load() == online; }, ms);
}
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startupReachesCompactHomeOnline();
    void weightText_data();
    void weightText();
    void statusBarFollowsLinkAndSaveState();
    void refusedSettingIsRed();
    void silentInstrumentGoesOfflineAndComesBack();
    void pageChangeEndsTest();
    void closeSequence_data();
    void closeSequence();
};

void TestMainWindow::startupReachesCompactHomeOnline() {
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QVERIFY(f.session().link().online);
    QVERIFY(f.session().link().parametri_caricati);
    QCOMPARE(f.form->navigator().currentPage(), 0);
    QCOMPARE(f.form->navigator().currentLayout(), int(Navigator::Compact));
    QCOMPARE(f.form->width(), 390);
    QVERIFY(f.form->isVisible());
    QVERIFY(f.control("Panel0")->isVisible());
    QVERIFY(f.control("Pan_peso")->isVisible());
    QVERIFY(!f.form->presenter().Tlamp().isActive());
    QVERIFY(f.control("lb_offlineA")->isHidden());
    QCOMPARE(f.control<QToolButton>("BtSetup")->text(), QStringLiteral("Setup"));
    QCOMPARE(f.control<QLabel>("lbtipopeso")->text(), QStringLiteral("Net"));

    // The weight follows the load on the scale.
    QVERIFY(f.sim->send(QStringLiteral("load 3")).startsWith(QLatin1String("OK")));
    QTRY_COMPARE_WITH_TIMEOUT(shownWeight(f), QStringLiteral("3"), 10000);
    QVERIFY(f.sim->send(QStringLiteral("load 12")).startsWith(QLatin1String("OK")));
    QTRY_COMPARE_WITH_TIMEOUT(shownWeight(f), QStringLiteral("12"), 10000);
    auto* chart = f.form->findChild<WeightChart*>(QStringLiteral("Chart1"));
    QVERIFY(chart->pointCount() > 0);
    QVERIFY(chart->pointCount() <= WeightChart::kMaxPoints);
    QVERIFY(chart->leftAxis()->max() >= 12);
}

void TestMainWindow::weightText_data() {
    QTest::addColumn<QString>("division");     // role 0 index; empty: unchanged
    QTest::addColumn<QString>("sensitivity");  // role 11, 1/10000 mV/V; empty: unchanged
    QTest::addColumn<QString>("load");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("lit");  // indicator panel that must be active
    QTest::newRow("two decimals") << "3"
                                  << ""
                                  << "7.5"
                                  << "^7\\.50$"
                                  << "Pan_stabile";
    QTest::newRow("overload") << ""
                              << ""
                              << "2500"
                              << "^ O-L $"
                              << "";
    // A cell signal beyond the converter's range, under the overload limit.
    QTest::newRow("out of range") << ""
                                  << "45000"
                                  << "4000"
                                  << "^\\^{6}$"
                                  << "";
    QTest::newRow("below minimum") << ""
                                   << ""
                                   << "-20"
                                   << "^-20$"
                                   << "Pan_min";
}

void TestMainWindow::weightText() {
    QFETCH(QString, division);
    QFETCH(QString, sensitivity);
    QFETCH(QString, load);
    QFETCH(QString, pattern);
    QFETCH(QString, lit);
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QVERIFY(f.session().link().online);
    if (!division.isEmpty()) {
        // As the scale-division box does: write, then take the new decimals.
        f.session().writePath().write(0, division);
        f.session().controls().setIndex(QStringLiteral("CBUnit"), division.toInt());
        f.session().decoder().refreshDecimals();
    }
    if (!sensitivity.isEmpty())
        f.session().writePath().write(11, sensitivity);
    QVERIFY(f.sim->send(QStringLiteral("load ") + load).startsWith(QLatin1String("OK")));
    const QRegularExpression re(pattern);
    QTRY_VERIFY2_WITH_TIMEOUT(re.match(shownWeight(f)).hasMatch(), qPrintable(shownWeight(f)),
                              10000);
    if (!lit.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(f.form->findChild<IndicatorPanel*>(lit)->isActive(), 5000);
}

void TestMainWindow::statusBarFollowsLinkAndSaveState() {
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    StatusPanels& sb = f.form->statusBarPanels();
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(0), QStringLiteral("Status:Ready"), 5000);
    QCOMPARE(sb.textColor(0), QColor(Qt::black));
    QCOMPARE(sb.panelText(1), QStringLiteral("Data saved successfully"));
    QVERIFY(!sb.unsaved());

    // A write the instrument accepts: "Tx OK" in green, and unsaved data
    // in white on red until the status bar is clicked.
    f.session().writePath().write(16, QStringLiteral("3"));
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(0), QStringLiteral("Status:Tx OK"), 5000);
    QCOMPARE(sb.textColor(0), QColor(0, 0x80, 0));
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(1),
                              QStringLiteral("Some data are not saved! (Click Here)"), 5000);
    QVERIFY(sb.unsaved());
    QCOMPARE(sb.fillColor(1), QColor(0xFF, 0, 0));
    QCOMPARE(sb.textColor(1), QColor(Qt::white));
    QCOMPARE(sb.fillColor(2), QColor(0xFF, 0, 0));
    QVERIFY(f.sim->status().value(QStringLiteral("unsaved")).toBool());

    QTest::mouseClick(&sb, Qt::LeftButton, {}, QPoint(300, 10));
    QVERIFY(!sb.unsaved());
    QTRY_VERIFY_WITH_TIMEOUT(!f.sim->status().value(QStringLiteral("unsaved")).toBool(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(1), QStringLiteral("Data saved successfully"), 5000);
    QCOMPARE(sb.fillColor(1), sb.fillColor(0));
    // Three seconds on, tstato puts the link back to "Ready".
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(0), QStringLiteral("Status:Ready"), 8000);
}

void TestMainWindow::refusedSettingIsRed() {
    WindowFixture f;
    ParameterTable t;
    QVERIFY(t.loadDefinition(f.home.file(QStringLiteral("Config/DATV1218.def"))).ok);
    const int motionRegister = t.entry(t.entryOfRole(16)).regOffset + t.setupBase;
    QVERIFY2(
        f.startSim({QStringLiteral("--exception3-on-register"), QString::number(motionRegister)}),
        qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    BoxWatcher boxes(BoxWatcher::Ok);  // the read-out meets the refusal too
    QVERIFY(f.start());
    QVERIFY(f.session().link().online);
    StatusPanels& sb = f.form->statusBarPanels();
    f.session().writePath().write(16, QStringLiteral("4"));
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(0), QStringLiteral("Status:Setting Error"), 5000);
    QCOMPARE(sb.textColor(0), QColor(0xFF, 0, 0));
    QVERIFY(!sb.unsaved());
}

void TestMainWindow::silentInstrumentGoesOfflineAndComesBack() {
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QVERIFY(f.session().link().online);
    const qint64 pid = f.sim->process().processId();

    QCOMPARE(::kill(pid_t(pid), SIGSTOP), 0);
    QVERIFY(waitOnline(f, false));
    StatusPanels& sb = f.form->statusBarPanels();
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(0), QStringLiteral("Status: Offline"), 5000);
    QVERIFY(f.form->presenter().Tlamp().isActive());
    QVERIFY(!f.control("lb_offlineA")->isHidden());
    QVERIFY(f.control("Pan_inout")->isHidden());
    // The cross over the USB picture blinks.
    QWidget* cross = f.control("img_xA");
    const bool before = cross->isHidden();
    QTRY_VERIFY_WITH_TIMEOUT(cross->isHidden() != before, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(cross->isHidden() == before, 2000);

    QCOMPARE(::kill(pid_t(pid), SIGCONT), 0);
    QVERIFY(waitOnline(f, true, 30000));
    QTRY_VERIFY_WITH_TIMEOUT(f.session().link().parametri_caricati.load(), 10000);
    QVERIFY(!f.form->presenter().Tlamp().isActive());
    QVERIFY(f.control("lb_offlineA")->isHidden());
    QVERIFY(!f.control("Pan_inout")->isHidden());
}

void TestMainWindow::pageChangeEndsTest() {
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    Session& s = f.session();
    ParameterTable& t = s.table();
    const int reg = t.entry(t.entryOfRole(8)).regOffset + t.setupBase;
    // Role 8 may already read "0": the end of the test is written anyway.
    t.entry(t.entryOfRole(8)).value = QStringLiteral("0");
    QCOMPARE(f.requestsTo(6, reg), 0);

    s.outputTest = true;
    f.form->strip().pageButton(10)->click();
    QCOMPARE(f.form->navigator().currentPage(), 10);
    QVERIFY(!s.outputTest);
    QTRY_COMPARE_WITH_TIMEOUT(f.requestsTo(6, reg), 1, 5000);

    // The page already shown: nothing changes on screen, the test still ends.
    s.analogTest = true;
    f.form->strip().pageButton(10)->click();
    QCOMPARE(f.form->navigator().currentPage(), 10);
    QVERIFY(!s.analogTest);
    QTRY_COMPARE_WITH_TIMEOUT(f.requestsTo(6, reg), 2, 5000);

    // No test running: a page change sends nothing.
    f.form->strip().pageButton(11)->click();
    QCOMPARE(f.form->navigator().currentPage(), 11);
    QTest::qWait(300);
    QCOMPARE(f.requestsTo(6, reg), 2);
}

void TestMainWindow::closeSequence_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saved");
    QTest::newRow("yes saves") << int(BoxWatcher::Yes) << true;
    QTest::newRow("close button does not") << int(BoxWatcher::CloseButton) << false;
}

void TestMainWindow::closeSequence() {
    QFETCH(int, answer);
    QFETCH(bool, saved);
    WindowFixture f;
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    f.session().writePath().write(16, QStringLiteral("2"));
    QTRY_VERIFY_WITH_TIMEOUT(f.session().unsaved(), 5000);
    f.form->navigator().BtSetupClick();  // setup layout, stored at close
    QCOMPARE(f.form->navigator().currentLayout(), int(Navigator::Setup));

    BoxWatcher boxes{static_cast<BoxWatcher::Way>(answer)};
    QVERIFY(f.form->close());
    QCOMPARE(boxes.texts(), QStringList{"Data not saved, do you want to save it?"});
    QCOMPARE(!f.sim->status().value(QStringLiteral("unsaved")).toBool(), saved);

    QStringList log = f.home.logMessages();
    log.removeAll(QStringLiteral("Errore: Selezione della lingua"));
    log.removeAll(QStringLiteral("Applicazione: Attesa fine TX"));  // only if an exchange ran
    QCOMPARE(log, (QStringList{"Applicazione: Avvio", "Applicazione: Attesa Chiusura thread",
                               "Applicazione: Chiusura"}));
    const QList<QByteArray> lines = f.home.read(SettingsFile::kFileName).split('\n');
    QCOMPARE(lines.size(), 15);  // fourteen lines, each ended by CR LF
    QCOMPARE(lines[0], f.sim->ptyPath().toLatin1() + '\r');
    QCOMPARE(lines[5], QByteArray("1\r"));  // f_style: the setup layout in use
    QVERIFY(!f.session().transmitThreadRunning());
    QVERIFY(!f.session().port().isOpen());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

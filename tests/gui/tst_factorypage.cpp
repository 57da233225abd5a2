// The factory page against the virtual instrument: the analog regulation
// steps with their limits and Shift steps, the analog test, "Exit", the
// sensor read-outs and the factory buttons, checked on the simulator's
// traffic file.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

#include "session/writepath.h"
#include "testmodes.h"
#include "window/analogpage.h"
#include "window/analogregulation.h"
#include "window/navigator.h"
#include "windowfixture.h"

namespace {
constexpr int kOnlineMs = 20000;
constexpr int kModeRole = 8;
constexpr int kTestLevelRole = 9;
constexpr int kZeroOffsetRole = 39;
constexpr int kFullScaleRole = 40;
}  // namespace

class TestFactoryPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void regulationStepsStopAtTheirLimits_data();
    void regulationStepsStopAtTheirLimits();
    void aStepAtTheLimitWritesOnlyTheMode();
    void shiftPressAddsItsOwnStep_data();
    void shiftPressAddsItsOwnStep();
    void shiftPressAndReleaseApart_data();
    void shiftPressAndReleaseApart();
    void trackBarRunsTheAnalogTest();
    void exitEndsOnlyARunningTest();
    void pageChangeEndsTheRegulationOnce();
    void stepsWaitForNoBuilder();
    void analogPageButtonsShareTheHandlers();
    void readOutsFollowTheInstrument();
    void calibrationAndResetButtons();
    void cleanupTestCase();

private:
    Session& s() { return f_->session(); }
    int reg(int role) { return registerOfRole(s().table(), role); }
    QList<SeenWrite> writes() { return writesAfter(*f_->sim, mark_); }
    // The instrument's value of a regulation role, set outside any test.
    void preset(int role, int value);
    template <typename T = QWidget>
    T* w(const char* name) {
        return f_->control<T>(name);
    }

    std::unique_ptr<WindowFixture> f_;
    int mark_ = 0;
};

void TestFactoryPage::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    QVERIFY2(f_->startSim(), qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    QVERIFY(QTest::qWaitFor([this] { return s().link().online && s().link().parametri_caricati; },
                            kOnlineMs));
    f_->form->navigator().pageButtonClick(13);
    QCOMPARE(f_->form->navigator().currentPage(), 13);
    QVERIFY(w("GB_Anacal")->isVisible());
}

void TestFactoryPage::init() {
    s().endRunningTests();
    QVERIFY(!s().testRunning());
    s().setUnsaved(false);
    QVERIFY(w("btRegana")->isVisible());
    mark_ = lastSeq(*f_->sim);
}

void TestFactoryPage::cleanup() {
    // No write of a test mode or a regulation is a change to save.
    QVERIFY(!s().unsaved());
    w<QPushButton>("btExitana")->click();
}

void TestFactoryPage::cleanupTestCase() {
    f_.reset();
}

void TestFactoryPage::preset(int role, int value) {
    s().writePath().forceWrite(role, QString::number(value));
    QCOMPARE(s().table().entry(s().table().entryOfRole(role)).value, QString::number(value));
    s().setUnsaved(false);
    mark_ = lastSeq(*f_->sim);
}

void TestFactoryPage::regulationStepsStopAtTheirLimits_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("written");
    QTest::newRow("zero offset fast down stops at 0")
        << "btoffDL" << kZeroOffsetRole << 3 << 50 << 0;
    QTest::newRow("zero offset down") << "btoffL" << kZeroOffsetRole << 3 << 50 << 47;
    QTest::newRow("zero offset fast up stops at 60000")
        << "btoffDR" << kZeroOffsetRole << 3 << 59950 << 60000;
    QTest::newRow("full scale fast up stops at 65535")
        << "btFSDR" << kFullScaleRole << 4 << 65500 << 65535;
    QTest::newRow("full scale down stops at 1000") << "btFSL" << kFullScaleRole << 4 << 1002 << 1000;
    QTest::newRow("full scale fast down stops at 1000")
        << "btFSDL" << kFullScaleRole << 4 << 1050 << 1000;
    QTest::newRow("full scale up") << "btFSR" << kFullScaleRole << 4 << 30000 << 30003;
}

void TestFactoryPage::regulationStepsStopAtTheirLimits() {
    QFETCH(QString, button);
    QFETCH(int, role);
    QFETCH(int, mode);
    QFETCH(int, start);
    QFETCH(int, written);
    w<QPushButton>("btRegana")->click();
    QVERIFY(w("PanRegana")->isVisible());
    QVERIFY(w("btExitana")->isVisible());
    QVERIFY(w("btRegana")->isHidden());
    preset(role, start);
    f_->form->findChild<QToolButton*>(button)->click();
    const QList<SeenWrite> expected = {{6, reg(kModeRole), mode}, {6, reg(role), written}};
    QTRY_COMPARE_WITH_TIMEOUT(writes(), expected, 5000);
    QVERIFY(s().outputTest);
    QCOMPARE(f_->sim->status().value(QStringLiteral("testMode")).toInt(), mode);
}

void TestFactoryPage::aStepAtTheLimitWritesOnlyTheMode() {
    w<QPushButton>("btRegana")->click();
    preset(kFullScaleRole, 1002);
    auto* down = w<QToolButton>("btFSL");
    down->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 4},
                                                         {6, reg(kFullScaleRole), 1000}}),
                              5000);
    // At the limit the mode goes out again, the value does not.
    mark_ = lastSeq(*f_->sim);
    down->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 4}}), 5000);
}

void TestFactoryPage::shiftPressAddsItsOwnStep_data() {
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("exactly Shift: 800 on the press, 100 on the click")
        << int(Qt::ShiftModifier) << QList<int>{1800, 1900};
    QTest::newRow("Shift with Ctrl: the click only")
        << int(Qt::ShiftModifier | Qt::ControlModifier) << QList<int>{1100};
    QTest::newRow("no modifier: the click only") << int(Qt::NoModifier) << QList<int>{1100};
}

void TestFactoryPage::shiftPressAddsItsOwnStep() {
    QFETCH(int, modifiers);
    QFETCH(QList<int>, values);
    w<QPushButton>("btRegana")->click();
    preset(kFullScaleRole, 1000);
    QTest::mouseClick(w<QToolButton>("btFSDR"), Qt::LeftButton,
                      Qt::KeyboardModifiers(modifiers));
    QList<SeenWrite> expected;
    for (int v : values)
        expected << SeenWrite{6, reg(kModeRole), 4} << SeenWrite{6, reg(kFullScaleRole), v};
    QTRY_COMPARE_WITH_TIMEOUT(writes(), expected, 5000);
    // Nothing left over runs later.
    QTest::qWait(200);
    QCOMPARE(writes(), expected);
}

void TestFactoryPage::shiftPressAndReleaseApart_data() {
    QTest::addColumn<bool>("releaseDuringStep");
    QTest::newRow("released after the Shift step") << false;
    QTest::newRow("released while the Shift step waits for its reply") << true;
}

void TestFactoryPage::shiftPressAndReleaseApart() {
    // As a hand does it: the press and the release are events of their own.
    QFETCH(bool, releaseDuringStep);
    w<QPushButton>("btRegana")->click();
    preset(kZeroOffsetRole, 1000);
    auto* fastDown = w<QToolButton>("btoffDL");
    QTest::mousePress(fastDown, Qt::LeftButton, Qt::ShiftModifier);
    if (releaseDuringStep) {
        QTimer::singleShot(0, fastDown, [fastDown] {
            QTest::mouseRelease(fastDown, Qt::LeftButton, Qt::ShiftModifier);
        });
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(writes().size(), 2, 5000);
        QTest::mouseRelease(fastDown, Qt::LeftButton, Qt::ShiftModifier);
    }
    const QList<SeenWrite> expected = {{6, reg(kModeRole), 3},
                                       {6, reg(kZeroOffsetRole), 200},
                                       {6, reg(kModeRole), 3},
                                       {6, reg(kZeroOffsetRole), 100}};
    QTRY_COMPARE_WITH_TIMEOUT(writes(), expected, 5000);
    QVERIFY(!fastDown->isDown());
}

void TestFactoryPage::trackBarRunsTheAnalogTest() {
    w<QPushButton>("bttestana")->click();
    auto* bar = w<QSlider>("TBAnalog");
    QVERIFY(bar->isVisible());
    QVERIFY(w("PanRegana")->isHidden());
    QCOMPARE(bar->maximum(), 100);
    s().setOutputTest(true);  // a regulation ran before: the analog test takes over
    bar->setValue(50);
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 6},
                                                         {6, reg(kTestLevelRole), 32000}}),
                              5000);
    QVERIFY(s().analogTest);
    QVERIFY(!s().outputTest);
    QCOMPARE(s().sliderPosition, 50);
    QCOMPARE(w<QLabel>("lbTBAnalog")->text(), QStringLiteral("50 %"));
    QCOMPARE(f_->sim->status().value(QStringLiteral("testMode")).toInt(), 6);

    // A position between the steps of 10 snaps to the nearest step.
    mark_ = lastSeq(*f_->sim);
    bar->setValue(74);
    QCOMPARE(bar->value(), 70);
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 6},
                                                         {6, reg(kTestLevelRole), 44800}}),
                              5000);
}

void TestFactoryPage::exitEndsOnlyARunningTest() {
    // Open and leave without a step: nothing is written.
    w<QPushButton>("btRegana")->click();
    w<QPushButton>("btExitana")->click();
    QVERIFY(w("btRegana")->isVisible());
    QVERIFY(w("bttestana")->isVisible());
    QVERIFY(w("PanRegana")->isHidden());
    QVERIFY(w("btExitana")->isHidden());
    QVERIFY(!w("TBAnalog")->isVisible());
    QTest::qWait(300);
    QCOMPARE(writes(), QList<SeenWrite>{});

    // After a step "Exit" puts the instrument back to normal, once.
    w<QPushButton>("btRegana")->click();
    preset(kZeroOffsetRole, 500);
    w<QToolButton>("btoffR")->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes().size(), 2, 5000);
    mark_ = lastSeq(*f_->sim);
    w<QPushButton>("btExitana")->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 0}}), 5000);
    QVERIFY(!s().testRunning());
    QCOMPARE(f_->sim->status().value(QStringLiteral("testMode")).toInt(), 0);
}

void TestFactoryPage::pageChangeEndsTheRegulationOnce() {
    w<QPushButton>("btRegana")->click();
    preset(kZeroOffsetRole, 500);
    w<QToolButton>("btoffL")->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes().size(), 2, 5000);
    mark_ = lastSeq(*f_->sim);
    Navigator& nav = f_->form->navigator();
    nav.pageButtonClick(11);
    nav.pageButtonClick(13);
    QTest::qWait(300);
    QCOMPARE(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 0}}));
    QVERIFY(!s().testRunning());
}

void TestFactoryPage::stepsWaitForNoBuilder() {
    // While a request builder holds the line every step is dropped.
    w<QPushButton>("btRegana")->click();
    preset(kZeroOffsetRole, 500);
    s().link().canale_occupato = true;
    w<QToolButton>("btoffR")->click();
    QTest::mouseClick(w<QToolButton>("btoffDR"), Qt::LeftButton, Qt::ShiftModifier);
    w<QSlider>("TBAnalog")->setValue(20);
    s().link().canale_occupato = false;
    QTest::qWait(300);
    QCOMPARE(writes(), QList<SeenWrite>{});
    QVERIFY(!s().testRunning());
    w<QSlider>("TBAnalog")->setValue(0);
    s().endRunningTests();
}

void TestFactoryPage::analogPageButtonsShareTheHandlers() {
    Navigator& nav = f_->form->navigator();
    nav.pageButtonClick(6);
    auto* analog = qobject_cast<AnalogPage*>(nav.page(6));
    QVERIFY(analog);
    analog->toggleCalibrationGroup();  // Ctrl+K
    QVERIFY(w("Gbanacal")->isVisible());
    preset(kZeroOffsetRole, 50);
    w<QAbstractButton>("btanaOMM")->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 3},
                                                         {6, reg(kZeroOffsetRole), 0}}),
                              5000);
    preset(kFullScaleRole, 65500);
    QTest::mouseClick(w<QAbstractButton>("btanaFSPP"), Qt::LeftButton, Qt::ShiftModifier);
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 4},
                                                         {6, reg(kFullScaleRole), 65535},
                                                         {6, reg(kModeRole), 4}}),
                              5000);
    QVERIFY(s().outputTest);
    // "Exit" closes the tools on both pages and ends the regulation.
    mark_ = lastSeq(*f_->sim);
    w<QPushButton>("btExitana")->click();
    QVERIFY(w("Gbanacal")->isHidden());
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 0}}), 5000);
    nav.pageButtonClick(13);
}

void TestFactoryPage::readOutsFollowTheInstrument() {
    auto* points = w<QLineEdit>("Epunti_cal");
    auto* signal = w<QLineEdit>("Esignal_cal");
    QVERIFY(points->isReadOnly());
    QVERIFY(signal->isReadOnly());
    QVERIFY(f_->sim->send(QStringLiteral("load 0")).startsWith(QLatin1String("OK")));
    QTRY_VERIFY_WITH_TIMEOUT(!points->text().isEmpty(), 5000);
    const QString emptyPoints = points->text();
    const QString emptySignal = signal->text();
    QVERIFY(f_->sim->send(QStringLiteral("load 1500")).startsWith(QLatin1String("OK")));
    QTRY_VERIFY_WITH_TIMEOUT(points->text() != emptyPoints && signal->text() != emptySignal,
                             10000);
    QVERIFY(QRegularExpression(QStringLiteral("^-?\\d+$")).match(points->text()).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^-?\\d+\\.\\d{3}$"))
                .match(signal->text())
                .hasMatch());
    QVERIFY(f_->sim->send(QStringLiteral("load 0")).startsWith(QLatin1String("OK")));
}

void TestFactoryPage::calibrationAndResetButtons() {
    const ParameterTable& t = s().table();
    const int command = registerOfRole(t, 6);
    w<QPushButton>("btZero")->click();
    w<QPushButton>("btFS")->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes(),
                              (QList<SeenWrite>{{6, command, 0x14}, {6, command, 0x15}}), 5000);
    // The reset code goes to role 7 even when its text already reads it,
    // then the reset command; no question is asked.
    mark_ = lastSeq(*f_->sim);
    w<QPushButton>("btresall")->click();
    w<QPushButton>("btresall")->click();
    const QList<SeenWrite> reset = {{16, registerOfRole(t, 7), 30817}, {6, command, 0x18}};
    QTRY_COMPARE_WITH_TIMEOUT(writes(), reset + reset, 8000);
    // The reset is no test: its acknowledged write counts as a change.
    QVERIFY(s().unsaved());
    s().setUnsaved(false);
}

QTEST_MAIN(TestFactoryPage)
#include "tst_factorypage.moc"

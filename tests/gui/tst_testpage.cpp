// The hardware test page against the virtual instrument: the output
// sliders and the analog track bar, the lamps and read-outs the live
// refresh keeps current, checked on the simulator's traffic file.
#include <QLabel>
#include <QSlider>
#include <QtTest>

#include "testmodes.h"
#include "window/lamp.h"
#include "window/navigator.h"
#include "window/onoffswitch.h"
#include "windowfixture.h"

namespace {
constexpr int kOnlineMs = 20000;
constexpr int kModeRole = 8;
constexpr int kTestLevelRole = 9;
constexpr qint64 kOn = 0xFF00;
}  // namespace

class TestTestPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void outputSliderSwitchesTheOutput();
    void outputTestTakesOverFromTheAnalogTest();
    void bothRunsOfAToggleSendTheToggledState();
    void pageChangeEndsTheOutputTestOnce();
    void lampsAndReadOutsFollowTheInstrument();
    void analogPreviewFollowsTheTrackBar();
    void cleanupTestCase();

private:
    Session& s() { return f_->session(); }
    int reg(int role) { return registerOfRole(s().table(), role); }
    QList<SeenWrite> writes() { return writesAfter(*f_->sim, mark_); }
    template <typename T = QWidget>
    T* w(const char* name) {
        return f_->control<T>(name);
    }
    void showTestPage() {
        f_->form->navigator().pageButtonClick(11);
        QCOMPARE(f_->form->navigator().currentPage(), 11);
    }

    std::unique_ptr<WindowFixture> f_;
    int mark_ = 0;
};

void TestTestPage::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    QVERIFY2(f_->startSim(), qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    QVERIFY(QTest::qWaitFor([this] { return s().link().online && s().link().parametri_caricati; },
                            kOnlineMs));
    showTestPage();
    // The instrument has its analog output: the group and the read-out show.
    QVERIFY(w("GBanatest")->isVisible());
    QVERIFY(w("lbanalog")->isVisible());
    QVERIFY(w("lbscr5")->isVisible());
}

void TestTestPage::init() {
    s().endRunningTests();
    s().setUnsaved(false);
    mark_ = lastSeq(*f_->sim);
}

void TestTestPage::cleanup() {
    QVERIFY(!s().unsaved());
}

void TestTestPage::cleanupTestCase() {
    f_.reset();
}

void TestTestPage::outputSliderSwitchesTheOutput() {
    auto* out1 = w<OnOffSwitch>("SLOut1");
    QVERIFY(!out1->isChecked());
    // A click toggles: the state change and the click each run the sequence.
    QTest::mouseClick(out1, Qt::LeftButton);
    QVERIFY(out1->isChecked());
    const QList<SeenWrite> on = {{6, reg(kModeRole), 5}, {5, 0, kOn}};
    QTRY_COMPARE_WITH_TIMEOUT(writes(), on + on, 5000);
    QVERIFY(s().outputTest);
    QVERIFY(!s().analogTest);
    // The instrument's output comes back through the refresh.
    QTRY_VERIFY_WITH_TIMEOUT(f_->control<Lamp>("Led_out1A")->isOn(), 5000);
    QVERIFY(out1->isChecked());

    mark_ = lastSeq(*f_->sim);
    QTest::mouseClick(out1, Qt::LeftButton);
    QVERIFY(!out1->isChecked());
    const QList<SeenWrite> off = {{6, reg(kModeRole), 5}, {5, 0, 0}};
    QTRY_COMPARE_WITH_TIMEOUT(writes(), off + off, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!f_->control<Lamp>("Led_out1A")->isOn(), 5000);
}

void TestTestPage::outputTestTakesOverFromTheAnalogTest() {
    w<QSlider>("TBAnalogtest")->setValue(30);
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 6},
                                                         {6, reg(kTestLevelRole), 19200}}),
                              5000);
    QVERIFY(s().analogTest);
    QCOMPARE(w<QLabel>("lbTBAnalogtest")->text(), QStringLiteral("30 %"));

    mark_ = lastSeq(*f_->sim);
    auto* out2 = w<OnOffSwitch>("SLOut2");
    out2->click();
    QVERIFY(!s().analogTest);
    QVERIFY(s().outputTest);
    const QList<SeenWrite> on = {{6, reg(kModeRole), 5}, {5, 1, kOn}};
    QTRY_COMPARE_WITH_TIMEOUT(writes(), on + on, 5000);
    QCOMPARE(f_->sim->status().value(QStringLiteral("testMode")).toInt(), 5);

    // The track bar takes it back.
    w<QSlider>("TBAnalogtest")->setValue(0);
    QTRY_VERIFY_WITH_TIMEOUT(s().analogTest && !s().outputTest, 5000);
    out2->click();  // off again for the next cases
    s().endRunningTests();
}

void TestTestPage::bothRunsOfAToggleSendTheToggledState() {
    // A live refresh between the state change's run and the click's run
    // shows the instrument's old state; the click still sends what the
    // technician switched to.
    auto* out2 = w<OnOffSwitch>("SLOut2");
    QVERIFY(!out2->isChecked());
    const QMetaObject::Connection refresh =
        connect(out2, &QAbstractButton::toggled, this, [out2] { out2->showState(false); });
    out2->click();
    disconnect(refresh);
    const QList<SeenWrite> on = {{6, reg(kModeRole), 5}, {5, 1, kOn}};
    QTRY_COMPARE_WITH_TIMEOUT(writes(), on + on, 5000);
    // The instrument's state comes back through the refresh.
    QTRY_VERIFY_WITH_TIMEOUT(out2->isChecked(), 5000);
    // While a sequence holds the switch the refresh leaves it alone.
    out2->setHeld(true);
    out2->showState(false);
    QVERIFY(out2->isChecked());
    out2->setHeld(false);
    mark_ = lastSeq(*f_->sim);
    out2->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes().size(), 4, 5000);
    QCOMPARE(writes().at(1), (SeenWrite{5, 1, 0}));
    QCOMPARE(writes().at(3), (SeenWrite{5, 1, 0}));
    s().endRunningTests();
}

void TestTestPage::pageChangeEndsTheOutputTestOnce() {
    auto* out1 = w<OnOffSwitch>("SLOut1");
    out1->click();
    QTRY_COMPARE_WITH_TIMEOUT(writes().size(), 4, 5000);
    mark_ = lastSeq(*f_->sim);
    f_->form->navigator().pageButtonClick(12);
    f_->form->navigator().pageButtonClick(10);
    QTest::qWait(300);
    QCOMPARE(writes(), (QList<SeenWrite>{{6, reg(kModeRole), 0}}));
    QVERIFY(!s().testRunning());
    QCOMPARE(f_->sim->status().value(QStringLiteral("testMode")).toInt(), 0);

    // Back on the page nothing is sent until a slider is moved again.
    mark_ = lastSeq(*f_->sim);
    showTestPage();
    QTest::qWait(300);
    QCOMPARE(writes(), QList<SeenWrite>{});
    // The slider now shows the instrument's own output again.
    QTRY_VERIFY_WITH_TIMEOUT(!out1->isChecked(), 5000);
}

void TestTestPage::lampsAndReadOutsFollowTheInstrument() {
    auto* led1 = w<Lamp>("LED1");
    auto* led2 = w<Lamp>("LED2");
    QVERIFY(f_->sim->send(QStringLiteral("input 1 1")).startsWith(QLatin1String("OK")));
    QTRY_VERIFY_WITH_TIMEOUT(led1->isOn() && !led2->isOn(), 5000);
    QVERIFY(f_->sim->send(QStringLiteral("input 2 1")).startsWith(QLatin1String("OK")));
    QVERIFY(f_->sim->send(QStringLiteral("input 1 0")).startsWith(QLatin1String("OK")));
    QTRY_VERIFY_WITH_TIMEOUT(!led1->isOn() && led2->isOn(), 5000);
    QVERIFY(f_->sim->send(QStringLiteral("input 2 0")).startsWith(QLatin1String("OK")));

    auto* points = w<QLabel>("lbpoints");
    auto* signal = w<QLabel>("lbsignal");
    QVERIFY(f_->sim->send(QStringLiteral("load 0")).startsWith(QLatin1String("OK")));
    QTRY_VERIFY_WITH_TIMEOUT(!points->text().isEmpty(), 5000);
    const QString before = points->text();
    QVERIFY(f_->sim->send(QStringLiteral("load 1200")).startsWith(QLatin1String("OK")));
    QTRY_VERIFY_WITH_TIMEOUT(points->text() != before, 10000);
    QVERIFY(QRegularExpression(QStringLiteral("^-?\\d+\\.\\d{3}$"))
                .match(signal->text())
                .hasMatch());
    QVERIFY(f_->sim->send(QStringLiteral("load 0")).startsWith(QLatin1String("OK")));
    QCOMPARE(writes(), QList<SeenWrite>{});
}

void TestTestPage::analogPreviewFollowsTheTrackBar() {
    auto* bar = w<QSlider>("TBAnalogtest");
    auto* preview = w<QLabel>("lbanalog");
    // Full level: the top of whatever range the instrument is set to.
    bar->setValue(100);
    QTRY_VERIFY_WITH_TIMEOUT(s().analogTest, 5000);
    static const QRegularExpression top(QStringLiteral("^(20\\.00 mA|10\\.00 V|5\\.00 V)$"));
    QTRY_VERIFY2_WITH_TIMEOUT(top.match(preview->text()).hasMatch(), qPrintable(preview->text()),
                              5000);
    const QString full = preview->text();
    bar->setValue(50);
    QTRY_VERIFY2_WITH_TIMEOUT(preview->text() != full &&
                                  QRegularExpression(QStringLiteral("^(10\\.00|12\\.00|5\\.00|2\\.50)"))
                                      .match(preview->text())
                                      .hasMatch(),
                              qPrintable(preview->text()), 5000);
    QCOMPARE(f_->sim->status().value(QStringLiteral("testMode")).toInt(), 6);
    bar->setValue(0);
    s().endRunningTests();
}

QTEST_MAIN(TestTestPage)
#include "tst_testpage.moc"

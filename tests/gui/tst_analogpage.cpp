// The Analogic page on the real window against one simulator: mode, range
// with its warning, the typed full scale, and the hidden regulation group.
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "boxwatcher.h"
#include "pagetraffic.h"
#include "window/navigator.h"
#include "windowfixture.h"

class TestAnalogPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void modeWritesItsIndex();
    void rangeInUseAsksNothing();
    void rangeChangeRefusedIsReadBack();
    void rangeChangeConfirmedIsWrittenAndRegulationReadBack();
    void fullScaleIsWrittenInDivisions();
    void calibrationGroupFollowsCtrlK();

private:
    template <typename T>
    T* c(const char* name) {
        T* w = f_->control<T>(name);
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    int reg(int role) { return registerOfRole(f_->session().table(), role); }
    QString value(int role) {
        const ParameterTable& t = f_->session().table();
        return t.entry(t.entryOfRole(role)).value;
    }

    std::unique_ptr<WindowFixture> f_;
    std::unique_ptr<BoxWatcher> boxes_;
    PageTraffic traffic_;
};

void TestAnalogPage::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    boxes_ = std::make_unique<BoxWatcher>(BoxWatcher::No);
    QVERIFY2(f_->startSim(), qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    QVERIFY(f_->session().link().online);
    QTRY_VERIFY_WITH_TIMEOUT(f_->session().link().parametri_caricati.load(), 10000);
    traffic_.sim = f_->sim.get();
}

void TestAnalogPage::cleanupTestCase() {
    f_.reset();
    boxes_.reset();
}

void TestAnalogPage::init() {
    boxes_->seen.clear();
    boxes_->setWay(BoxWatcher::No);
    traffic_.setMark();
}

void TestAnalogPage::modeWritesItsIndex() {
    auto* mode = c<QComboBox>("CBMode");
    QCOMPARE(mode->count(), 3);
    choose(mode, 2);  // Peak
    QCOMPARE(traffic_.writesTo(reg(37)), QList<int>{2});
    QCOMPARE(f_->session().controls().index(QStringLiteral("CBMode")), 2);
}

void TestAnalogPage::rangeInUseAsksNothing() {
    auto* range = c<QComboBox>("CBRange");
    QCOMPARE(range->count(), 4);
    QCOMPARE(range->currentIndex(), value(38).toInt());
    // The handler runs to its end inside the choice: a question would have
    // been answered and a request sent by now.
    choose(range, range->currentIndex());
    QVERIFY(boxes_->seen.isEmpty());
    QCOMPARE(traffic_.writes(), 0);
    QCOMPARE(traffic_.readsOf(reg(38)), 0);
}

void TestAnalogPage::rangeChangeRefusedIsReadBack() {
    auto* range = c<QComboBox>("CBRange");
    const QString before = value(38);
    const int other = (before.toInt() + 1) % 4;
    choose(range, other);
    QCOMPARE(boxes_->texts(),
             QStringList{QStringLiteral("Warning! analogic calibration will be lost, continue?")});
    QCOMPARE(boxes_->seen.first().buttons, (QStringList{"btSI", "BtNO"}));
    QCOMPARE(range->currentIndex(), before.toInt());
    QTRY_COMPARE_WITH_TIMEOUT(traffic_.readsOf(reg(38)), 1, 5000);
    QCOMPARE(traffic_.writes(), 0);
    QCOMPARE(value(38), before);
    QCOMPARE(range->currentIndex(), before.toInt());
}

void TestAnalogPage::rangeChangeConfirmedIsWrittenAndRegulationReadBack() {
    boxes_->setWay(BoxWatcher::Yes);
    auto* range = c<QComboBox>("CBRange");
    const int other = (value(38).toInt() + 1) % 4;
    choose(range, other);
    QCOMPARE(boxes_->seen.size(), 1);
    QCOMPARE(traffic_.writesTo(reg(38)), QList<int>{other});
    QTRY_COMPARE_WITH_TIMEOUT(traffic_.readsOf(reg(39)), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(traffic_.readsOf(reg(40)), 1, 5000);
    QCOMPARE(value(38), QString::number(other));
    QCOMPARE(range->currentIndex(), other);
}

void TestAnalogPage::fullScaleIsWrittenInDivisions() {
    // Division 1 of the simulator's defaults: the count is the weight.
    auto* fs = c<QLineEdit>("EanaFS");
    typeAndLeave(fs, QStringLiteral("1500"));
    QCOMPARE(traffic_.writesTo(reg(36)), QList<int>{1500});
    // Above the used weight: refused, nothing sent.
    traffic_.setMark();
    typeAndLeave(fs, QStringLiteral("999999"));
    QCOMPARE(boxes_->texts(), QStringList{QStringLiteral("Invalid number! :999999")});
    QCOMPARE(traffic_.writes(), 0);
}

void TestAnalogPage::calibrationGroupFollowsCtrlK() {
    f_->form->navigator().form_style(Navigator::Setup);
    f_->form->navigator().AbilPannel(6);
    auto* group = c<QGroupBox>("Gbanacal");
    QVERIFY(group->isHidden());
    const QStringList buttons{"btanaOMM", "btanaOM",   "btanaOP",   "btanaOPP",
                              "btanaFSMM", "btanaFSM", "btanaFSP", "btanaFSPP"};
    for (const QString& name : buttons) {
        auto* b = group->findChild<QPushButton*>(name);
        QVERIFY2(b, qPrintable(name));
        QVERIFY(!b->icon().isNull());
        QCOMPARE(f_->form->findChildren<QWidget*>(name).size(), 1);
    }
    QTest::keyClick(f_->form.get(), Qt::Key_K, Qt::ControlModifier);
    QVERIFY(group->isVisible());
    // Ctrl with another modifier is not the shortcut.
    QTest::keyClick(f_->form.get(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(group->isVisible());
    QTest::keyClick(f_->form.get(), Qt::Key_K, Qt::ControlModifier);
    QVERIFY(group->isHidden());
}

QTEST_MAIN(TestAnalogPage)
#include "tst_analogpage.moc"

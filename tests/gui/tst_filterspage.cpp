// The Filters page on the real main window against the virtual instrument:
// its combo boxes and typed fields on the wire, values shown without being
// written back, the "0 ALL" switch of program 12, and the filter chart that
// is drawn only while it can be seen.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include "boxwatcher.h"
#include "session/requests.h"
#include "session/writepath.h"
#include "window/filterspage.h"
#include "window/navigator.h"
#include "window/topstrip.h"
#include "window/weightchart.h"
#include "testmodes.h"
#include "windowfixture.h"

namespace {
using Write = RegisterWrite;
}  // namespace

class TestFiltersPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void pageIsReachedAndItsNamesAreUnique();
    void combosWriteTheirIndex_data();
    void combosWriteTheirIndex();
    void receivedValueIsShownNotWritten();
    void typedFieldsOnTheWire_data();
    void typedFieldsOnTheWire();
    void zeroAllIsHiddenForProgram12();
    void filterChartIsDrawnOnlyWhenSeen();
    void burstOfPointsPaintsOnce();
    void firstChartPointAfterReconnectCarriesItsSign();

private:
    int reg(int role) const;
    QList<Write> writesTo(int role) const;
    void typeInto(QLineEdit* edit, const QString& text, bool leave);
    void showPage(int n);

    std::unique_ptr<WindowFixture> f_;
};

int TestFiltersPage::reg(int role) const {
    const ParameterTable& t = f_->form->session().table();
    return t.entry(t.findRole(role)).regOffset + t.setupBase;
}

QList<Write> TestFiltersPage::writesTo(int role) const {
    return writesToRegister(*f_->sim, reg(role));
}

void TestFiltersPage::typeInto(QLineEdit* edit, const QString& text, bool leave) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    if (leave)
        QTest::keyClick(edit, Qt::Key_Return);
}

void TestFiltersPage::showPage(int n) {
    f_->form->strip().pageButton(n)->click();
    QCOMPARE(f_->form->navigator().currentPage(), n);
}

void TestFiltersPage::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    QVERIFY2(f_->startSim(), qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    QVERIFY(f_->session().link().online);
    // Setup, then "Param", as the technician gets there.
    f_->form->navigator().BtSetupClick();
    showPage(2);
    QVERIFY(QTest::qWaitForWindowExposed(f_->form.get()));
}

void TestFiltersPage::cleanupTestCase() {
    f_.reset();
}

void TestFiltersPage::pageIsReachedAndItsNamesAreUnique() {
    // The setup layout: 930 x 550 of client area under the menu bar.
    QCOMPARE(f_->form->width(), 930);
    QVERIFY(f_->form->height() >= 550);
    QWidget* panel = f_->control("Panel2");
    QVERIFY(panel && panel->isVisible());
    QHash<QString, int> seen;
    for (const QWidget* w : f_->form->findChildren<QWidget*>())
        if (!w->objectName().isEmpty())
            ++seen[w->objectName()];
    for (const QWidget* w : panel->findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            QVERIFY2(seen.value(w->objectName()) == 1, qPrintable(w->objectName()));
    for (const char* name : {"CbFilter", "CBpeak", "Estab", "EAutozero", "Eztrack", "EZeroBand",
                             "LbMedie", "bt_send02"}) {
        QWidget* w = f_->control(name);
        QVERIFY2(w && w->isVisible(), name);
        // Everything fits the window: nothing cut off at its right or bottom.
        const QRect r(w->mapTo(f_->form.get(), QPoint(0, 0)), w->size());
        QVERIFY2(f_->form->rect().contains(r), name);
    }
    auto* send = f_->control<QPushButton>("bt_send02");
    QCOMPARE(send->text(), QStringLiteral("Send"));
    // The button has no action: nothing is written.
    const qsizetype before = f_->sim->traffic().size();
    const int requestsBefore = f_->sim->status().value(QStringLiteral("requests")).toInt();
    send->click();
    QTest::qWait(200);
    int writes = 0;
    for (const QJsonObject& o : f_->sim->traffic().mid(before))
        writes += o.value(QStringLiteral("function")).toInt() == 0x06;
    QCOMPARE(writes, 0);
    QVERIFY(requestsBefore > 0);
}

void TestFiltersPage::combosWriteTheirIndex_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("choice");
    QTest::newRow("filter") << "CbFilter" << 15
                            << QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"} << 7;
    QTest::newRow("functional mode")
        << "CBpeak" << 14 << QStringList{"Net", "Gross", "Peak"} << 2;
}

void TestFiltersPage::combosWriteTheirIndex() {
    QFETCH(QString, name);
    QFETCH(int, role);
    QFETCH(QStringList, items);
    QFETCH(int, choice);
    auto* box = f_->form->findChild<QComboBox*>(name);
    QVERIFY(box);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    QCOMPARE(shown, items);
    // The read-out selected what the instrument holds.
    QCOMPARE(QString::number(box->currentIndex()), f_->session().table().entry(
                                                       f_->session().table().findRole(role)).value);
    const int start = (choice + 1) % box->count();
    if (box->currentIndex() != start)
        box->setCurrentIndex(start);
    const qsizetype before = writesTo(role).size();
    box->setCurrentIndex(choice);
    const QList<Write> w = writesTo(role).mid(before);
    QCOMPARE(w.size(), 1);
    QCOMPARE(w[0].value, choice);
    QCOMPARE(w[0].exception, 0);
    QCOMPARE(f_->session().controls().index(name), choice);
}

void TestFiltersPage::receivedValueIsShownNotWritten() {
    Session& s = f_->session();
    const int index = s.table().findRole(15);
    auto* box = f_->control<QComboBox>("CbFilter");
    box->setCurrentIndex(3);
    QCOMPARE(box->currentIndex(), 3);
    // The table forgets; the instrument still holds 3 and says so.
    s.table().entry(index).value = QStringLiteral("8");
    const qsizetype before = writesTo(15).size();
    QVERIFY(s.requests().leggi_parametro(index, false).isAnswered());
    QCOMPARE(box->currentIndex(), 3);
    QCOMPARE(s.table().entry(index).value, QStringLiteral("3"));
    QCOMPARE(writesTo(15).size(), before);
}

void TestFiltersPage::typedFieldsOnTheWire_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("leave");  // false: the field writes on each change
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("written");
    QTest::addColumn<QString>("error");
    // Above its bound the zero band says so and writes the bound instead.
    QTest::newRow("zero band too large")
        << "EZeroBand" << "350" << true << "200" << 19 << 200 << "Invalid number! :350";
    QTest::newRow("zero band") << "EZeroBand" << "120" << true << "120" << 19 << 120 << "";
    QTest::newRow("automatic zero") << "EAutozero" << "12.34" << true << "12.3" << 17 << 123
                                    << "";
    QTest::newRow("motion") << "Estab" << "3" << false << "3" << 16 << 3 << "";
    QTest::newRow("zero tracking") << "Eztrack" << "2" << false << "2" << 18 << 2 << "";
}

void TestFiltersPage::typedFieldsOnTheWire() {
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(bool, leave);
    QFETCH(QString, shown);
    QFETCH(int, role);
    QFETCH(int, written);
    QFETCH(QString, error);
    auto* edit = f_->form->findChild<QLineEdit*>(name);
    QVERIFY(edit && edit->isVisible());
    // Start from another value so the write is not skipped as unchanged.
    if (f_->session().table().entry(f_->session().table().findRole(role)).value ==
        QString::number(written))
        QVERIFY(f_->session().writePath().write(role, QStringLiteral("1")).isAnswered());
    BoxWatcher boxes(BoxWatcher::Ok);
    const qsizetype before = writesTo(role).size();
    typeInto(edit, typed, leave);
    QCOMPARE(edit->text(), shown);
    const QList<Write> w = writesTo(role).mid(before);
    QCOMPARE(w.size(), 1);
    QCOMPARE(w[0].value, written);
    QCOMPARE(w[0].exception, 0);
    QCOMPARE(boxes.texts(), error.isEmpty() ? QStringList() : QStringList{error});
}

void TestFiltersPage::zeroAllIsHiddenForProgram12() {
    // The virtual instrument identifies as program 12, which has no "0 ALL".
    QCOMPARE(f_->session().table().findRole(42), -1);
    QVERIFY(f_->control("CBAll")->isHidden());
    QVERIFY(f_->control("lball")->isHidden());
    QVERIFY(f_->control("CbFilter")->isVisible());
}

void TestFiltersPage::filterChartIsDrawnOnlyWhenSeen() {
    auto* chart = f_->form->findChild<WeightChart*>(QStringLiteral("Chart3"));
    QVERIFY(chart && chart->isVisible());
    QVERIFY(f_->sim->send(QStringLiteral("load 4")).startsWith(QLatin1String("OK")));
    QTRY_VERIFY_WITH_TIMEOUT(chart->pointCount() >= 3, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(chart->redraws() > 0, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(
        f_->control<QLabel>("LbMedie")->text().startsWith(QLatin1String("Average: ")), 2000);
    const QList<QAbstractSeries*> series = chart->chart()->series();
    QCOMPARE(series.size(), 2);
    QCOMPARE(series[0]->name(), QStringLiteral("Serie2B"));
    QVERIFY(series[0]->isVisible());
    QCOMPARE(series[1]->name(), QStringLiteral("Serie2A"));
    QVERIFY(!series[1]->isVisible());
    QVERIFY(chart->pointCount() <= WeightChart::kMaxPoints);

    // On another page the points still come in, but nothing is drawn.
    showPage(4);
    QVERIFY(!chart->isVisible());
    const int redraws = chart->redraws();
    const int points = chart->pointCount();
    QTRY_VERIFY_WITH_TIMEOUT(chart->pointCount() >= points + 3, 10000);
    QCOMPARE(chart->redraws(), redraws);
    auto* drawn = static_cast<QLineSeries*>(series[0]);
    QVERIFY(drawn->count() < chart->pointCount());

    // Back on the page, one redraw catches up with all of them.
    showPage(2);
    QCOMPARE(chart->redraws(), redraws + 1);
    QCOMPARE(drawn->count(), chart->pointCount());
    QCOMPARE(drawn->at(drawn->count() - 1), chart->points().last());
    // The axis holds the newest point.
    const double y = chart->points().last().y();
    QVERIFY(chart->axisMin() <= y && y <= chart->axisMax());
}

void TestFiltersPage::burstOfPointsPaintsOnce() {
    WeightChart chart;
    chart.resize(600, 300);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    const int before = chart.redraws();
    const QDateTime t0 = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < 50; ++i)
        chart.addFilterPoint(t0.addMSecs(i * 20), 100.0 + (i % 3), 2000.0);
    // Nothing is drawn while the points come in one after the other...
    QCOMPARE(chart.redraws(), before);
    // ...and then once for all of them.
    QTRY_COMPARE_WITH_TIMEOUT(chart.redraws(), before + 1, 2000);
    QTest::qWait(2 * WeightChart::kRepaintMs);
    QCOMPARE(chart.redraws(), before + 1);
    auto* drawn = static_cast<QLineSeries*>(chart.chart()->series().at(0));
    QCOMPARE(drawn->count(), 50);
    // Spread 2 is above 2000 x 0.0005: the axis follows the points.
    QVERIFY(chart.isAutoScaled());
    QVERIFY(chart.axisMin() <= 100.0 && chart.axisMax() >= 102.0);
}

void TestFiltersPage::firstChartPointAfterReconnectCarriesItsSign() {
    // The sign comes from the status byte, which a reconnect must read anew:
    // with the load turned negative while the link was down, the chart's
    // first points after it must already carry the new sign.
    showPage(2);
    auto* chart = f_->form->findChild<WeightChart*>(QStringLiteral("Chart3"));
    QVERIFY(chart && chart->isVisible());
    QVERIFY(f_->sim->send(QStringLiteral("load 12")).startsWith(QLatin1String("OK")));
    QTRY_VERIFY_WITH_TIMEOUT(!chart->points().isEmpty() && chart->points().last().y() > 11, 10000);

    QCOMPARE(f_->sim->send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    QTRY_VERIFY_WITH_TIMEOUT(!f_->session().link().online, 10000);
    QVERIFY(f_->sim->send(QStringLiteral("load -12")).startsWith(QLatin1String("OK")));
    // Settled before the link comes back: only the sign can be wrong, not a
    // swing still on its way.
    QTRY_VERIFY_WITH_TIMEOUT(f_->sim->status().value(QStringLiteral("net")).toDouble() < -11 &&
                                 f_->sim->status().value(QStringLiteral("stable")).toBool(),
                             10000);
    chart->clear();
    QVERIFY(f_->sim->send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QTRY_VERIFY_WITH_TIMEOUT(f_->session().link().online.load(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(chart->pointCount() >= 2, 10000);
    for (int i = 0; i < 2; ++i)
        QVERIFY2(chart->points().at(i).y() < 0,
                 qPrintable(QString::number(chart->points().at(i).y())));
}

QTEST_MAIN(TestFiltersPage)
#include "tst_filterspage.moc"

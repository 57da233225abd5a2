// The window's own widgets: control updates applied without their change
// handlers, the weight and filter charts, and the status bar colours.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QValueAxis>
#include <QtTest>

#include "device/controlmodel.h"
#include "window/controlapplier.h"
#include "window/radiogroup.h"
#include "window/statuspanels.h"
#include "window/weightchart.h"

class TestWidgets : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void updatesRunNoHandler();
    void weightChartKeepsTheLast201Points();
    void weightAxisGrowsUntilClicked();
    void filterAxisKeepsAMinimumWindow();
    void statusColours_data();
    void statusColours();
};

void TestWidgets::updatesRunNoHandler() {
    QWidget root;
    auto* combo = new QComboBox(&root);
    combo->setObjectName("CBUnit");
    auto* edit = new QLineEdit(&root);
    edit->setObjectName("EVal1");
    auto* group = new RadioGroup(&root);
    group->setObjectName("rg2");
    group->setItems({"Gross", "Net", "Peak"});
    QSignalSpy comboChanged(combo, &QComboBox::currentIndexChanged);
    QSignalSpy editChanged(edit, &QLineEdit::textChanged);
    QSignalSpy groupClicked(group, &RadioGroup::clicked);

    ControlApplier applier(&root);
    QVERIFY(applier.apply(ControlUpdate::setItems("CBUnit", {"0.001", "0.002", "0.005"})));
    QCOMPARE(combo->currentIndex(), -1);  // a new list leaves no selection
    QVERIFY(applier.apply(ControlUpdate::setIndex("CBUnit", 2)));
    QCOMPARE(combo->currentText(), QStringLiteral("0.005"));
    QVERIFY(applier.apply(ControlUpdate::setIndex("CBUnit", 7)));  // past the end
    QCOMPARE(combo->currentIndex(), -1);
    QVERIFY(applier.apply(ControlUpdate::setText("CBUnit", "0.002")));
    QCOMPARE(combo->currentIndex(), 1);
    QVERIFY(applier.apply(ControlUpdate::setText("EVal1", "1.000")));
    QCOMPARE(edit->text(), QStringLiteral("1.000"));
    QVERIFY(applier.apply(ControlUpdate::setIndex("rg2", 2)));
    QCOMPARE(group->itemIndex(), 2);
    QVERIFY(applier.apply(ControlUpdate::setEnabled("EVal1", false)));
    QVERIFY(!edit->isEnabled());
    QVERIFY(applier.apply(ControlUpdate::setVisible("EVal1", false)));
    QVERIFY(edit->isHidden());
    // Showing a value never runs the handler that would write it back.
    QCOMPARE(comboChanged.count(), 0);
    QCOMPARE(editChanged.count(), 0);
    QCOMPARE(groupClicked.count(), 0);
    // Controls of pages that come later are skipped.
    QVERIFY(!applier.apply(ControlUpdate::setText("Eportata_max", "10")));
    // A control that cannot take the update says so.
    QVERIFY(!applier.apply(ControlUpdate::setItems("EVal1", {"a"})));
}

void TestWidgets::weightChartKeepsTheLast201Points() {
    WeightChart chart;
    const QDateTime t0 = QDateTime::currentDateTime();
    for (int i = 0; i < 202; ++i)
        chart.addPoint(t0.addMSecs(i * 100), i);
    QCOMPARE(chart.pointCount(), WeightChart::kMaxPoints);
    // The 202nd point took the place of the oldest.
    QCOMPARE(chart.series()->at(0).y(), 1.0);
    QCOMPARE(chart.series()->at(200).y(), 201.0);
}

void TestWidgets::weightAxisGrowsUntilClicked() {
    WeightChart chart;
    const QDateTime t0 = QDateTime::currentDateTime();
    chart.addPoint(t0, 10);
    chart.addPoint(t0.addMSecs(100), 500);
    chart.addPoint(t0.addMSecs(200), -20);
    QVERIFY(!chart.isAutoScaled());
    QCOMPARE(chart.leftAxis()->max(), 500.0);
    QCOMPARE(chart.leftAxis()->min(), -20.0);
    for (int i = 0; i < WeightChart::kMaxPoints; ++i)
        chart.addPoint(t0.addMSecs(300 + i), 100);
    // The extremes have scrolled out; the axis never shrinks by itself.
    QCOMPARE(chart.leftAxis()->max(), 500.0);
    QCOMPARE(chart.leftAxis()->min(), -20.0);

    QTest::mouseClick(chart.viewport(), Qt::LeftButton);
    QVERIFY(chart.isAutoScaled());
    QVERIFY(chart.leftAxis()->max() < 110);
    QVERIFY(chart.leftAxis()->min() > 90);
}

void TestWidgets::filterAxisKeepsAMinimumWindow() {
    WeightChart chart;
    const QDateTime t0 = QDateTime::currentDateTime();
    // Used weight 2000: a range narrower than 1 opens to 2 either side of its minimum.
    for (int i = 0; i < 5; ++i)
        chart.addFilterPoint(t0.addMSecs(i * 100), 100.0, 2000.0);
    const double min = chart.leftAxis()->min();
    const double max = chart.leftAxis()->max();
    QVERIFY(max - min >= 2000.0 * 0.0005);
    QVERIFY(min <= 100.0 && max >= 100.0);
    // A value outside puts the axis back on automatic, around the points.
    chart.addFilterPoint(t0.addMSecs(600), 400.0, 2000.0);
    QVERIFY(chart.leftAxis()->max() >= 400.0);
    QVERIFY(chart.leftAxis()->min() <= 100.0);
}

void TestWidgets::statusColours_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<QColor>("text0");
    QTest::addColumn<QColor>("fill1");
    QTest::newRow("ready") << 0 << false << QColor(Qt::black) << QColor();
    QTest::newRow("tx ok") << 1 << false << QColor(0, 0x80, 0) << QColor();
    QTest::newRow("rx error") << 2 << false << QColor(0xFF, 0, 0) << QColor();
    QTest::newRow("refused, unsaved") << 3 << true << QColor(0xFF, 0, 0) << QColor(0xFF, 0, 0);
}

void TestWidgets::statusColours() {
    QFETCH(int, state);
    QFETCH(bool, unsaved);
    QFETCH(QColor, text0);
    QFETCH(QColor, fill1);
    StatusPanels sb;
    sb.setLinkState(state);
    sb.setUnsaved(unsaved);
    QCOMPARE(sb.textColor(0), text0);
    const QColor face = sb.fillColor(0);
    QCOMPARE(sb.fillColor(1), fill1.isValid() ? fill1 : face);
    QCOMPARE(sb.fillColor(2), sb.fillColor(1));  // the spacer takes panel 1's fill
    QCOMPARE(sb.textColor(1), unsaved ? QColor(Qt::white) : QColor(Qt::black));
    QCOMPARE(sb.panelText(2), QStringLiteral(" "));
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"

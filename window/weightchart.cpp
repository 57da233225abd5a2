#include "window/weightchart.h"

#include <QDateTimeAxis>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <algorithm>

#include "device/liverefresh.h"

WeightChart::WeightChart(QWidget* parent)
    : QChartView(parent),
      series_(new QLineSeries),
      xAxis_(new QDateTimeAxis),
      yAxis_(new QValueAxis) {
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(4);
    chart->addSeries(series_);
    xAxis_->setFormat(QStringLiteral("hh:mm:ss"));
    xAxis_->setTickCount(5);
    yAxis_->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(xAxis_, Qt::AlignBottom);
    chart->addAxis(yAxis_, Qt::AlignLeft);
    series_->attachAxis(xAxis_);
    series_->attachAxis(yAxis_);
    QPen pen(QColor(20, 90, 200));
    pen.setWidthF(2);
    series_->setPen(pen);
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    const QDateTime now = QDateTime::currentDateTime();
    xAxis_->setRange(now.addSecs(-10), now);
    yAxis_->setRange(0, 1);
}

void WeightChart::setSeriesName(const QString& name) {
    series_->setName(name);
    series_->setObjectName(name);
}

int WeightChart::pointCount() const {
    return static_cast<int>(series_->count());
}

void WeightChart::clear() {
    series_->clear();
    empty_ = true;
}

void WeightChart::append(const QDateTime& when, double y) {
    if (series_->count() >= kMaxPoints)
        series_->remove(0);
    series_->append(static_cast<qreal>(when.toMSecsSinceEpoch()), y);
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(series_->at(0).x()));
    xAxis_->setRange(first < when ? first : when.addSecs(-1), when);
}

void WeightChart::addPoint(const QDateTime& when, double y) {
    append(when, y);
    const AxisRange axis{yAxis_->min(), yAxis_->max()};
    if (empty_) {
        fitToPoints();
    } else if (y > axis.max || y < axis.min) {
        // A value outside the axis takes the axis under program control:
        // from now on it only grows, until the next click.
        auto_ = false;
        const AxisRange grown = weightAxisAfter(axis, y);
        yAxis_->setRange(grown.min, grown.max);
    } else if (auto_) {
        fitToPoints();
    }
    empty_ = false;
}

void WeightChart::addFilterPoint(const QDateTime& when, double y, double usedWeight) {
    append(when, y);
    // One repaint for the point and the axis change together.
    setUpdatesEnabled(false);
    AxisRange axis{yAxis_->min(), yAxis_->max()};
    if (empty_ || filterAxisNeedsAutomatic(axis, y)) {
        auto_ = true;
        fitToPoints();
        axis = {yAxis_->min(), yAxis_->max()};
    }
    if (const std::optional<AxisRange> manual = filterAxisManual(axis, usedWeight)) {
        auto_ = false;
        yAxis_->setRange(manual->min, manual->max);
    } else if (auto_) {
        fitToPoints();
    }
    empty_ = false;
    setUpdatesEnabled(true);
}

void WeightChart::fitToPoints() {
    const QList<QPointF> pts = series_->points();
    if (pts.isEmpty())
        return;
    const auto [lo, hi] = std::minmax_element(
        pts.begin(), pts.end(), [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    double min = lo->y(), max = hi->y();
    // A flat line still needs an axis with some height.
    const double pad = max > min ? (max - min) * 0.05 : std::max(1.0, std::abs(max) * 0.01);
    yAxis_->setRange(min - pad, max + pad);
}

void WeightChart::autoScale() {
    auto_ = true;
    fitToPoints();
}

void WeightChart::mousePressEvent(QMouseEvent* event) {
    autoScale();
    Q_EMIT clicked();
    QChartView::mousePressEvent(event);
}

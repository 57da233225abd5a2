#include "window/weightchart.h"

#include <QDateTimeAxis>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "device/liverefresh.h"

namespace {
// The axis works on instants; UTC date-times carry them without a time-zone
// lookup. The labels are still written in local time by the axis itself.
QDateTime instant(qreal msecs) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(msecs), Qt::UTC);
}
}  // namespace

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
    pen.setWidthF(1.5);
    series_->setPen(pen);
    setChart(chart);
    // A smoothed line costs several times the plain one on every repaint.
    setRenderHint(QPainter::Antialiasing, false);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    xAxis_->setRange(now.addSecs(-10), now);
    yAxis_->setRange(axisMin_, axisMax_);

    redraw_.setSingleShot(true);
    redraw_.setInterval(kRepaintMs);
    connect(&redraw_, &QTimer::timeout, this, &WeightChart::flush);
}

void WeightChart::setSeriesName(const QString& name) {
    series_->setName(name);
    series_->setObjectName(name);
}

QLineSeries* WeightChart::addSwitchedOffSeries(const QString& name) {
    auto* s = new QLineSeries;
    s->setName(name);
    s->setObjectName(name);
    chart()->addSeries(s);
    s->attachAxis(xAxis_);
    s->attachAxis(yAxis_);
    s->setVisible(false);
    return s;
}

QLineSeries* WeightChart::series() {
    flush();
    return series_;
}

QValueAxis* WeightChart::leftAxis() {
    flush();
    return yAxis_;
}

void WeightChart::clear() {
    points_.clear();
    changed();
}

void WeightChart::append(const QDateTime& when, double y) {
    if (points_.size() >= kMaxPoints)
        points_.removeFirst();
    points_.append(QPointF(static_cast<qreal>(when.toMSecsSinceEpoch()), y));
}

void WeightChart::addPoint(const QDateTime& when, double y) {
    const bool first = points_.isEmpty();
    append(when, y);
    const AxisRange axis{axisMin_, axisMax_};
    if (first) {
        fitToPoints();
    } else if (y > axis.max || y < axis.min) {
        // A value outside the axis takes the axis under program control:
        // from now on it only grows, until the next click.
        auto_ = false;
        const AxisRange grown = weightAxisAfter(axis, y);
        axisMin_ = grown.min;
        axisMax_ = grown.max;
    } else if (auto_) {
        fitToPoints();
    }
    changed();
}

void WeightChart::addFilterPoint(const QDateTime& when, double y, double usedWeight) {
    const bool first = points_.isEmpty();
    append(when, y);
    AxisRange axis{axisMin_, axisMax_};
    if (first || filterAxisNeedsAutomatic(axis, y)) {
        auto_ = true;
        fitToPoints();
        axis = {axisMin_, axisMax_};
    }
    if (const std::optional<AxisRange> manual = filterAxisManual(axis, usedWeight)) {
        auto_ = false;
        axisMin_ = manual->min;
        axisMax_ = manual->max;
    } else if (auto_) {
        fitToPoints();
    }
    changed();
}

void WeightChart::fitToPoints() {
    if (points_.isEmpty())
        return;
    const auto [lo, hi] =
        std::minmax_element(points_.cbegin(), points_.cend(),
                            [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    const double min = lo->y(), max = hi->y();
    // A flat line still needs an axis with some height.
    const double pad = max > min ? (max - min) * 0.05 : std::max(1.0, std::abs(max) * 0.01);
    axisMin_ = min - pad;
    axisMax_ = max + pad;
}

void WeightChart::autoScale() {
    auto_ = true;
    fitToPoints();
    changed();
}

void WeightChart::changed() {
    dirty_ = true;
    if (isVisible() && !redraw_.isActive())
        redraw_.start();
}

void WeightChart::flush() {
    redraw_.stop();
    if (!dirty_)
        return;
    dirty_ = false;
    ++redraws_;
    // Points and axes change together: one repaint for all of it.
    setUpdatesEnabled(false);
    series_->replace(points_);
    if (!points_.isEmpty()) {
        const qreal first = points_.first().x();
        const qreal last = points_.last().x();
        xAxis_->setRange(instant(first < last ? first : last - 1000), instant(last));
    }
    yAxis_->setRange(axisMin_, axisMax_);
    setUpdatesEnabled(true);
    Q_EMIT redrawn();
}

void WeightChart::showEvent(QShowEvent* event) {
    QChartView::showEvent(event);
    flush();
}

void WeightChart::hideEvent(QHideEvent* event) {
    // What comes in meanwhile is drawn when the chart is shown again.
    redraw_.stop();
    QChartView::hideEvent(event);
}

void WeightChart::mousePressEvent(QMouseEvent* event) {
    autoScale();
    flush();
    Q_EMIT clicked();
    QChartView::mousePressEvent(event);
}

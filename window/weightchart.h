#pragma once

#include <QChartView>
#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QTimer>

class QLineSeries;
class QDateTimeAxis;
class QValueAxis;

// A time chart of one live value: at most 201 points, the oldest dropped
// first. The left axis fits the points shown until a value falls outside
// it; from then on it only grows to take new values in, until a click puts
// it back to fitting the points.
//
// Points arrive with every poll, many times a second, and most of the time
// the chart is on a page nobody is looking at. So the points and the axis
// are kept here as plain numbers, and the drawn chart catches up with them
// at most every kRepaintMs while it is visible, and once when it is shown:
// one repaint for however many points came in between.
class WeightChart : public QChartView {
    Q_OBJECT
public:
    static constexpr int kMaxPoints = 201;
    static constexpr int kRepaintMs = 100;

    explicit WeightChart(QWidget* parent = nullptr);

    void setSeriesName(const QString& name);
    // A second series on the same axes that stays switched off (hidden).
    QLineSeries* addSwitchedOffSeries(const QString& name);
    void addPoint(const QDateTime& when, double y);
    // The filter chart's rule: a point outside the axis puts the axis back on
    // automatic; a range narrower than a twentieth of a thousandth of the
    // full scale is widened around its minimum so noise does not fill it.
    void addFilterPoint(const QDateTime& when, double y, double usedWeight);
    void clear();
    // Fits the left axis to the points shown and lets it follow them.
    void autoScale();

    // The drawn chart's parts, brought up to date first.
    QLineSeries* series();
    QValueAxis* leftAxis();

    // The chart's own state, whether or not it has been drawn yet.
    int pointCount() const { return static_cast<int>(points_.size()); }
    const QList<QPointF>& points() const { return points_; }
    double axisMin() const { return axisMin_; }
    double axisMax() const { return axisMax_; }
    bool isAutoScaled() const { return auto_; }
    // How often the drawn chart has caught up with the points.
    int redraws() const { return redraws_; }

    // Brings the drawn chart up to date now.
    void flush();

Q_SIGNALS:
    void clicked();
    // The drawn chart has caught up with the points.
    void redrawn();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void append(const QDateTime& when, double y);
    void fitToPoints();
    void changed();

    QLineSeries* series_;
    QDateTimeAxis* xAxis_;
    QValueAxis* yAxis_;
    QList<QPointF> points_;
    QTimer redraw_;
    double axisMin_ = 0.0;
    double axisMax_ = 1.0;
    bool auto_ = true;
    bool dirty_ = false;
    int redraws_ = 0;
};

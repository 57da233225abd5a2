#pragma once

#include <QChartView>
#include <QDateTime>

class QLineSeries;
class QDateTimeAxis;
class QValueAxis;

// A time chart of one live value: at most 201 points, the oldest dropped
// first. The left axis fits the points shown until a value falls outside
// it; from then on it only grows to take new values in, until a click puts
// it back to fitting the points.
class WeightChart : public QChartView {
    Q_OBJECT
public:
    static constexpr int kMaxPoints = 201;

    explicit WeightChart(QWidget* parent = nullptr);

    void setSeriesName(const QString& name);
    void addPoint(const QDateTime& when, double y);
    // The filter chart's rule: a point outside the axis puts the axis back on
    // automatic; a range narrower than a twentieth of a thousandth of the
    // full scale is widened around its minimum so noise does not fill it.
    void addFilterPoint(const QDateTime& when, double y, double usedWeight);
    void clear();
    // Fits the left axis to the points shown and lets it follow them.
    void autoScale();

    QLineSeries* series() const { return series_; }
    QValueAxis* leftAxis() const { return yAxis_; }
    int pointCount() const;
    bool isAutoScaled() const { return auto_; }

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void append(const QDateTime& when, double y);
    void fitToPoints();

    QLineSeries* series_;
    QDateTimeAxis* xAxis_;
    QValueAxis* yAxis_;
    bool auto_ = true;
    bool empty_ = true;
};

#pragma once

#include <QtGlobal>
#include <deque>
#include <random>
#include <utility>
#include <vector>

// What the weighing parameters say about the scale, in the instrument's units.
struct ScaleSetup {
    double division = 1.0;      // kg per division
    double maxWeight = 2000.0;  // configured capacity, kg
    double sensitivity = 2.0;   // configured mV/V at capacity
    int filter = 5;             // 0..9
    int motion = 1;             // divisions the weight may wander and still be stable
    double fixedTare = 0.0;     // kg
    // Weight calibration: points at zero load, points with the known weight,
    // the known weight in divisions. Without `calibrated` the weight follows
    // from capacity and sensitivity, still counted from `calZero`.
    bool calibrated = false;
    qint32 calZero = 0;
    qint32 calSpan = 0;
    qint64 calWeight = 0;
};

struct ScaleReading {
    qint64 gross = 0;  // divisions, signed
    qint64 net = 0;
    qint64 peak = 0;
    qint32 points = 0;  // normalised A/D points: 2 mV/V = 1,000,000
    qint32 signal = 0;  // 1/1000 mV/V as measured
    bool stable = false;
    bool overload = false;
    bool outOfRange = false;
    bool belowMinimum = false;
    bool tareActive = false;
};

// A load cell on an A/D converter with noise and a filter. The cell is a
// fixed piece of hardware (2000 kg at 2 mV/V, a converter with its own offset
// and gain error); the configured capacity, sensitivity and calibration only
// change how the instrument turns its points into weight, as on a real one.
//
// Time is supplied by the caller (advanceTo), so the model is deterministic
// for a given seed and sequence of calls.
class WeighingModel {
public:
    static constexpr double kCellCapacityKg = 2000.0;
    static constexpr double kCellSensitivity = 2.0;
    static constexpr double kPointsPerMvV = 500000.0;
    static constexpr double kConverterLimitMvV = 3.9;
    static constexpr int kStepMs = 10;
    static constexpr int kStabilityWindowMs = 500;

    explicit WeighingModel(quint32 seed = 1, double noiseCounts = 10.0);

    // A new load is not stable before the settling time has passed (the
    // filter alone may settle faster than a real platform stops swinging).
    void setLoad(double kg);
    double load() const { return load_; }
    void setNoise(double counts) { noise_ = counts; }
    void setSettlingMs(int ms) { settlingMs_ = ms; }
    int settlingMs() const { return settlingMs_; }
    // An error the instrument makes in the weight it shows, in divisions, as
    // a function of the load: points (kg, divisions), linear between them,
    // the end points' error beyond them. Empty: no error.
    void setErrorCurve(std::vector<std::pair<double, double>> points);
    const std::vector<std::pair<double, double>>& errorCurve() const { return errorCurve_; }
    double errorDivisionsAt(double kg) const;

    // Runs the converter and filter up to time `ms`. A long gap is not
    // replayed step by step: the filter has settled long before its end.
    void advanceTo(qint64 ms, const ScaleSetup& setup);
    qint64 now() const { return now_; }

    ScaleReading reading(const ScaleSetup& setup) const;

    // Tare takes the gross weight; on an empty or negative scale it clears the tare.
    void tare(const ScaleSetup& setup);
    // Semi-automatic zero: the present gross weight becomes zero; clears the tare.
    void zero(const ScaleSetup& setup);
    void resetPeak(const ScaleSetup& setup);
    void setPeak(qint64 divisions) { peak_ = divisions; }
    // After a new calibration zero, earlier zero and tare corrections are void.
    void clearZeroAndTare();

    // Factory calibration of the converter against 0 mV/V and 2 mV/V
    // references applied to the input now. False when the full-scale
    // reference would not be above the zero reference.
    void adcZero();
    bool adcFullScale();
    double adcZeroRef() const { return adcZeroRef_; }
    double adcFullScaleRef() const { return adcFullScaleRef_; }
    // For the state file; refused (false) when full scale is not above zero.
    bool setAdcRefs(double zero, double fullScale);

private:
    double countsFor(double kg) const;
    double currentCounts() const;
    double pointsOf(double counts) const;
    double kgOf(double points, const ScaleSetup& setup) const;
    double grossDivisionsNow(const ScaleSetup& setup) const;
    void step(const ScaleSetup& setup);

    double load_ = 0.0;
    double noise_ = 10.0;
    std::mt19937 rng_;
    bool started_ = false;
    qint64 now_ = 0;
    double filtered_;  // converter counts after the filter
    double zeroKg_ = 0.0;
    double tareKg_ = 0.0;
    qint64 peak_ = 0;
    double adcZeroRef_;
    double adcFullScaleRef_;
    std::deque<std::pair<qint64, double>> history_;  // time, gross divisions
    int settlingMs_ = 0;
    qint64 settledAt_ = 0;
    std::vector<std::pair<double, double>> errorCurve_;
};

#include "sim/weighingmodel.h"

#include <algorithm>
#include <cmath>

namespace {
// The converter's own errors, which the factory calibration takes out.
constexpr double kHwOffsetCounts = 850.0;
constexpr double kHwGain = 1.003;
constexpr double kFullScaleMvV = 2.0;

qint64 roundDivisions(double v) {
    return std::llround(v);
}
}  // namespace

WeighingModel::WeighingModel(quint32 seed, double noiseCounts)
    : noise_(noiseCounts),
      rng_(seed),
      adcZeroRef_(kHwOffsetCounts),
      adcFullScaleRef_(kHwOffsetCounts + kFullScaleMvV * kPointsPerMvV * kHwGain) {
    filtered_ = countsFor(0.0);
}

double WeighingModel::countsFor(double kg) const {
    double mvv = kg / kCellCapacityKg * kCellSensitivity;
    mvv = std::clamp(mvv, -kConverterLimitMvV * 1.05, kConverterLimitMvV * 1.05);
    return kHwOffsetCounts + mvv * kPointsPerMvV * kHwGain;
}

double WeighingModel::pointsOf(double counts) const {
    return (counts - adcZeroRef_) * (kFullScaleMvV * kPointsPerMvV) /
           (adcFullScaleRef_ - adcZeroRef_);
}

double WeighingModel::kgOf(double points, const ScaleSetup& s) const {
    if (s.calibrated && s.calSpan != s.calZero && s.calWeight > 0)
        return (points - s.calZero) * static_cast<double>(s.calWeight) * s.division /
               (s.calSpan - s.calZero);
    if (s.sensitivity <= 0.0)
        return 0.0;
    return (points - s.calZero) / (kPointsPerMvV * s.sensitivity) * s.maxWeight;
}

double WeighingModel::grossDivisionsNow(const ScaleSetup& s) const {
    if (s.division <= 0.0)
        return 0.0;
    return (kgOf(pointsOf(filtered_), s) - zeroKg_) / s.division + errorDivisionsAt(load_);
}

void WeighingModel::setLoad(double kg) {
    if (kg != load_)
        settledAt_ = now_ + settlingMs_;
    load_ = kg;
}

void WeighingModel::setErrorCurve(std::vector<std::pair<double, double>> points) {
    std::sort(points.begin(), points.end());
    errorCurve_ = std::move(points);
}

double WeighingModel::errorDivisionsAt(double kg) const {
    if (errorCurve_.empty())
        return 0.0;
    if (kg <= errorCurve_.front().first)
        return errorCurve_.front().second;
    for (size_t i = 1; i < errorCurve_.size(); ++i) {
        const auto& [x1, y1] = errorCurve_[i];
        if (kg <= x1) {
            const auto& [x0, y0] = errorCurve_[i - 1];
            return x1 == x0 ? y1 : y0 + (y1 - y0) * (kg - x0) / (x1 - x0);
        }
    }
    return errorCurve_.back().second;
}

void WeighingModel::step(const ScaleSetup& s) {
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const double input = countsFor(load_) + (noise_ > 0.0 ? noise_ * noise(rng_) : 0.0);
    // First-order filter; each filter step adds 60 ms of time constant.
    const double tau = 60.0 * std::clamp(s.filter, 0, 9);
    const double alpha = tau <= 0.0 ? 1.0 : 1.0 - std::exp(-kStepMs / tau);
    filtered_ += alpha * (input - filtered_);
    now_ += kStepMs;
    const double gross = grossDivisionsNow(s);
    history_.emplace_back(now_, gross);
    while (!history_.empty() && history_.front().first <= now_ - kStabilityWindowMs)
        history_.pop_front();
    peak_ = std::max(peak_, roundDivisions(gross));
}

void WeighingModel::advanceTo(qint64 ms, const ScaleSetup& s) {
    if (!started_ || ms - now_ > 3000) {
        // At power-up, or after a long quiet spell, the filter has long
        // settled: replay only the last second, from the load's value, so the
        // stability window is full.
        started_ = true;
        now_ = ms - 1000;
        filtered_ = countsFor(load_);
        history_.clear();
    }
    while (now_ + kStepMs <= ms)
        step(s);
}

ScaleReading WeighingModel::reading(const ScaleSetup& s) const {
    ScaleReading r;
    const double counts = filtered_;
    const double points = pointsOf(counts);
    const double grossDiv = grossDivisionsNow(s);
    r.points = static_cast<qint32>(std::clamp(std::llround(points), -2147483647LL, 2147483647LL));
    r.signal = static_cast<qint32>(std::llround(points / kPointsPerMvV * 1000.0));
    r.gross = roundDivisions(grossDiv);
    const double tareKg = tareKg_ != 0.0 ? tareKg_ : s.fixedTare;
    r.tareActive = tareKg != 0.0;
    r.net = s.division > 0.0 ? roundDivisions(grossDiv - tareKg / s.division) : 0;
    r.peak = peak_;
    const double rawMvV = (counts - kHwOffsetCounts) / (kPointsPerMvV * kHwGain);
    r.outOfRange = std::fabs(rawMvV) > kConverterLimitMvV;
    const double maxDivisions = s.division > 0.0 ? s.maxWeight / s.division : 0.0;
    // Legal-for-trade style limits: nine divisions beyond capacity or below zero.
    r.overload = static_cast<double>(r.gross) > maxDivisions + 9.0;
    r.belowMinimum = r.gross < -9;
    double lo = grossDiv;
    double hi = grossDiv;
    for (const auto& [t, g] : history_) {
        lo = std::min(lo, g);
        hi = std::max(hi, g);
    }
    // Stable only after a whole window of steady weight, not merely because
    // little history exists yet (just started, or just settled).
    const bool windowFull = !history_.empty() && history_.back().first - history_.front().first >=
                                                     kStabilityWindowMs - 2 * kStepMs;
    r.stable =
        !r.outOfRange && windowFull && (hi - lo) <= std::max(1, s.motion) && now_ >= settledAt_;
    return r;
}

void WeighingModel::tare(const ScaleSetup& s) {
    const double grossKg = kgOf(pointsOf(filtered_), s) - zeroKg_;
    tareKg_ = grossKg > 0.0 ? grossKg : 0.0;
}

void WeighingModel::zero(const ScaleSetup& s) {
    zeroKg_ = kgOf(pointsOf(filtered_), s);
    tareKg_ = 0.0;
    history_.clear();
}

void WeighingModel::resetPeak(const ScaleSetup& s) {
    peak_ = roundDivisions(grossDivisionsNow(s));
}

void WeighingModel::clearZeroAndTare() {
    zeroKg_ = 0.0;
    tareKg_ = 0.0;
    history_.clear();
}

void WeighingModel::adcZero() {
    // The zero reference moves the offset only; the gain stays as it was.
    const double shift = filtered_ - adcZeroRef_;
    adcZeroRef_ += shift;
    adcFullScaleRef_ += shift;
}

bool WeighingModel::adcFullScale() {
    if (filtered_ <= adcZeroRef_ + 1000.0)
        return false;
    adcFullScaleRef_ = filtered_;
    return true;
}

bool WeighingModel::setAdcRefs(double zero, double fullScale) {
    if (!std::isfinite(zero) || !std::isfinite(fullScale) || fullScale <= zero + 1000.0)
        return false;
    adcZeroRef_ = zero;
    adcFullScaleRef_ = fullScale;
    return true;
}

#include "services/verification.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

// Readings and tolerances are decimal texts turned into doubles: a
// difference within this share of a division is equality, not an error.
constexpr double kSameWithin = 1e-6;

}  // namespace

std::optional<AccuracyClass> accuracyClassFromText(const QString& text) {
    const QString t = text.trimmed().toUpper();
    if (t == QLatin1String("II"))
        return AccuracyClass::II;
    if (t == QLatin1String("III"))
        return AccuracyClass::III;
    if (t == QLatin1String("IIII"))
        return AccuracyClass::IIII;
    return std::nullopt;
}

QString accuracyClassText(AccuracyClass c) {
    switch (c) {
        case AccuracyClass::II:
            return QStringLiteral("II");
        case AccuracyClass::III:
            break;
        case AccuracyClass::IIII:
            return QStringLiteral("IIII");
    }
    return QStringLiteral("III");
}

double maximumPermissibleError(AccuracyClass c, VerificationKind k, double loadDivisions) {
    double first = 500.0;
    double second = 2000.0;
    switch (c) {
        case AccuracyClass::II:
            first = 5000.0;
            second = 20000.0;
            break;
        case AccuracyClass::III:
            break;
        case AccuracyClass::IIII:
            first = 50.0;
            second = 200.0;
            break;
    }
    const double m = std::fabs(loadDivisions);
    const double initial = m <= first ? 0.5 : m <= second ? 1.0 : 1.5;
    return k == VerificationKind::InService ? 2.0 * initial : initial;
}

std::optional<double> VerificationRow::error() const {
    if (!shown)
        return std::nullopt;
    return *shown - applied;
}

bool VerificationRow::passed() const {
    const std::optional<double> e = error();
    return e && std::fabs(*e) <= tolerance * (1.0 + kSameWithin) + 1e-12;
}

std::optional<double> RepeatabilityCheck::spread() const {
    if (shown.isEmpty())
        return std::nullopt;
    double lo = 0.0;
    double hi = 0.0;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (!shown[i])
            return std::nullopt;
        lo = i == 0 ? *shown[i] : std::min(lo, *shown[i]);
        hi = i == 0 ? *shown[i] : std::max(hi, *shown[i]);
    }
    return hi - lo;
}

bool RepeatabilityCheck::passed() const {
    const std::optional<double> s = spread();
    return s && shown.size() >= 3 && *s <= tolerance * (1.0 + kSameWithin) + 1e-12;
}

Verification::Verification(AccuracyClass accuracy, VerificationKind kind, double division,
                           int decimals)
    : accuracy_(accuracy),
      kind_(kind),
      division_(division),
      decimals_(std::clamp(decimals, 0, 6)) {}

double Verification::toleranceAt(double load) const {
    if (division_ <= 0.0)
        return 0.0;
    return maximumPermissibleError(accuracy_, kind_, load / division_) * division_;
}

QList<double> Verification::sequence(QList<double> loads) {
    std::sort(loads.begin(), loads.end());
    loads.erase(std::unique(loads.begin(), loads.end()), loads.end());
    QList<double> order = loads;
    for (qsizetype i = loads.size() - 2; i >= 0; --i)
        order.append(loads[i]);
    return order;
}

QList<double> Verification::defaultLoads(double maximum, double division) {
    QList<double> loads;
    for (int percent : {0, 25, 50, 75, 100}) {
        double load = maximum * percent / 100.0;
        if (division > 0.0)
            load = std::round(load / division) * division;
        loads.append(load);
    }
    return loads;
}

std::optional<QList<double>> Verification::parseLoads(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    QList<double> loads;
    static const QRegularExpression plain(QStringLiteral("^\\d+(\\.\\d+)?$"));
    for (const QString& part : parts) {
        const QString p = part.trimmed();
        if (!plain.match(p).hasMatch())
            return std::nullopt;
        loads.append(p.toDouble());
    }
    return loads;
}

const VerificationRow& Verification::record(double applied, const QString& shownText,
                                            bool downward) {
    VerificationRow row;
    row.applied = applied;
    row.shownText = shownText.trimmed();
    row.shown = shownWeight(shownText);
    row.tolerance = toleranceAt(applied);
    row.downward = downward;
    rows_.append(row);
    return rows_.last();
}

void Verification::startRepeatability(double load) {
    RepeatabilityCheck check;
    check.load = load;
    check.tolerance = toleranceAt(load);
    repeat_ = check;
}

void Verification::recordRepeatability(const QString& shownText) {
    if (repeat_)
        repeat_->shown.append(shownWeight(shownText));
}

bool Verification::passed() const {
    if (rows_.isEmpty())
        return false;
    if (repeat_ && !repeat_->passed())
        return false;
    return std::all_of(rows_.begin(), rows_.end(),
                       [](const VerificationRow& r) { return r.passed(); });
}

QList<int> Verification::failingRows() const {
    QList<int> failing;
    for (qsizetype i = 0; i < rows_.size(); ++i)
        if (!rows_[i].passed())
            failing.append(static_cast<int>(i));
    return failing;
}

QString Verification::number(double value) const {
    QString text = QString::number(value, 'f', decimals_);
    // "-0" is no reading anybody made.
    static const QRegularExpression negativeZero(QStringLiteral("^-0(\\.0*)?$"));
    if (negativeZero.match(text).hasMatch())
        text.remove(0, 1);
    return text;
}

QString Verification::toleranceNumber(double value) const {
    return QString::number(value, 'f', decimals_ + 1);
}

QByteArray Verification::csv() const {
    QByteArray out("applied;shown;error;tolerance;verdict\n");
    for (const VerificationRow& r : rows_) {
        const std::optional<double> e = r.error();
        const QStringList fields{number(r.applied), r.shown ? number(*r.shown) : QString(),
                                 e ? number(*e) : QString(), toleranceNumber(r.tolerance),
                                 r.passed() ? QStringLiteral("pass") : QStringLiteral("fail")};
        out += fields.join(QLatin1Char(';')).toUtf8() + '\n';
    }
    return out;
}

std::optional<double> shownWeight(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
    const QString t = text.trimmed();
    if (!plain.match(t).hasMatch())
        return std::nullopt;
    return t.toDouble();
}

void StableWatch::feed(qint64 nowMs, bool stable, const QString& shown) {
    last_ = nowMs;
    if (!stable) {
        since_.reset();
        return;
    }
    if (!since_)
        since_ = nowMs;
    shown_ = shown;
}

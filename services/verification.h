#pragma once

#include <QList>
#include <QString>
#include <optional>

// The check a technician makes after calibrating: known loads put on the
// scale, the weight the instrument shows read at each, the error judged
// against the maximum permissible error of the scale's accuracy class.
// The assistant in the window and `velmora-cli verify` both keep their
// readings here, so both judge them the same way.

enum class AccuracyClass { II, III, IIII };
enum class VerificationKind { Initial, InService };

// "II", "III", "IIII"; nothing for any other text.
std::optional<AccuracyClass> accuracyClassFromText(const QString& text);
QString accuracyClassText(AccuracyClass c);

// The maximum permissible error, in scale divisions e, for a load of
// `loadDivisions` e (its sign does not matter). Three bands per class:
//   II:   0.5 e up to 5000 e, 1 e up to 20000 e, 1.5 e above
//   III:  0.5 e up to 500 e,  1 e up to 2000 e,  1.5 e above
//   IIII: 0.5 e up to 50 e,   1 e up to 200 e,   1.5 e above
// A band includes its upper bound. In service the errors are twice these.
double maximumPermissibleError(AccuracyClass c, VerificationKind k, double loadDivisions);

// One load put on the scale and what the instrument showed for it.
struct VerificationRow {
    double applied = 0.0;
    std::optional<double> shown;  // nothing when no weight was read (offline, overload)
    QString shownText;            // the display's text as read, for the record
    double tolerance = 0.0;       // absolute, in the scale's unit
    bool downward = false;        // read while unloading

    std::optional<double> error() const;
    bool passed() const;
};

// The same load three times: the spread of the readings must not exceed
// the absolute tolerance at that load.
struct RepeatabilityCheck {
    double load = 0.0;
    QList<std::optional<double>> shown;
    double tolerance = 0.0;

    std::optional<double> spread() const;  // nothing until every reading is a weight
    bool passed() const;
};

class Verification {
public:
    Verification(AccuracyClass accuracy, VerificationKind kind, double division, int decimals);

    AccuracyClass accuracy() const { return accuracy_; }
    VerificationKind kind() const { return kind_; }
    double division() const { return division_; }
    int decimals() const { return decimals_; }

    // The absolute tolerance, in the scale's unit, at a load.
    double toleranceAt(double load) const;

    // The order the loads are applied: upward through `loads` (sorted,
    // repeats dropped), then downward back to the first, the top not
    // repeated: 0, 50, 100 gives 0, 50, 100, 50, 0.
    static QList<double> sequence(QList<double> loads);
    // Test loads as fractions of the maximum weight: 0, 25, 50, 75, 100 %,
    // rounded to the scale division.
    static QList<double> defaultLoads(double maximum, double division);
    // "0,500,1000.5" in the scale's unit; nothing when a value is not a
    // number or is negative.
    static std::optional<QList<double>> parseLoads(const QString& text);

    // Records a reading; `shownText` is the display's text, its number the
    // shown weight (none when it is not a number, such as an overload).
    const VerificationRow& record(double applied, const QString& shownText, bool downward);
    const QList<VerificationRow>& rows() const { return rows_; }

    void startRepeatability(double load);
    void recordRepeatability(const QString& shownText);
    const std::optional<RepeatabilityCheck>& repeatability() const { return repeat_; }

    // Every row passes (and the repeatability, when checked); false
    // without a single row.
    bool passed() const;
    // "75 % up: 1500 kg" style names of the failing rows, for the result
    // page and the terminal: applied load and direction.
    QList<int> failingRows() const;

    // A value with the scale's decimals, "." as the decimal point.
    QString number(double value) const;
    // A tolerance keeps one decimal more: half a division must show.
    QString toleranceNumber(double value) const;

    // The CSV for machines: a header line "applied;shown;error;tolerance;
    // verdict", then one line per verification reading; "." decimals;
    // verdict "pass" or "fail"; a weight not read leaves shown and error
    // empty. LF line ends.
    QByteArray csv() const;

private:
    AccuracyClass accuracy_;
    VerificationKind kind_;
    double division_;
    int decimals_;
    QList<VerificationRow> rows_;
    std::optional<RepeatabilityCheck> repeat_;
};

// "Wait until stable": the instrument's stable flag must hold, without a
// single unstable reading, for `holdMs` after restart() before a weight
// counts as read. The readings come from the live refresh; time is the
// caller's, so both the window and the terminal judge alike.
class StableWatch {
public:
    explicit StableWatch(int holdMs) : holdMs_(holdMs) {}
    // Forgets what came before (a load was just put on).
    void restart() { since_.reset(); }
    void feed(qint64 nowMs, bool stable, const QString& shown);
    // Stable that long; `shown` is then the weight to record.
    bool settled() const { return since_ && last_ - *since_ >= holdMs_; }
    QString shown() const { return shown_; }
    // How long the weight has been stable so far, 0 when it is not.
    qint64 stableForMs() const { return since_ ? last_ - *since_ : 0; }
    int holdMs() const { return holdMs_; }

private:
    int holdMs_;
    std::optional<qint64> since_;
    qint64 last_ = 0;
    QString shown_;
};

// The shown text as a weight: "1500", "-0.5", " 12.30 "; nothing for the
// overload text or anything else that is not a plain number.
std::optional<double> shownWeight(const QString& text);

#pragma once

#include <QList>
#include <QString>
#include <optional>

struct DisplayState;

// One typed field of the pages: how its text is checked, reformatted,
// converted and written. Every typed field of the window is a row of
// typedFields(); one implementation runs them all.
struct FieldBinding {
    enum class Trigger { Leaving, EachChange };
    enum class Format {
        None,          // written as typed
        Tenths,        // "0.0"
        Hundredths,    // "0.00"
        DecimalsMask,  // the scale division's mask, "0" to "0.000"
    };
    enum class Limit {
        None,
        Fixed,             // `maximum`
        UsedWeightCounts,  // the full scale in counts of the last decimal
        FieldbusAddress,   // clamped to the protocol's highest address
    };
    enum class Conversion {
        AsTyped,
        PointsRemoved,  // the field's smallest unit
        ScaleDown,      // points removed, then divided by the division step
    };

    QString field;
    Trigger trigger = Trigger::Leaving;
    Format format = Format::None;
    Limit limit = Limit::None;
    qint64 maximum = 0;
    Conversion conversion = Conversion::AsTyped;
    // -1: not a parameter; the page takes the accepted text itself.
    int role = -1;
    // The setpoint values check the text as typed and reformat after.
    bool checkBeforeFormat = false;
    // A failed check puts this into the field and writes it.
    std::optional<QString> replacementWhenTooLarge;
};

// Every typed field of the window, in page order.
const QList<FieldBinding>& typedFields();
// The row of a field; nullptr when the field is not typed.
const FieldBinding* typedField(const QString& field);

// What a row means under the current display state.
struct FieldRule {
    std::optional<int> decimals;   // empty: no format
    std::optional<qint64> maximum;  // empty: no bound
    bool checkBeforeFormat = false;
    int divisionStep = 1;
    std::optional<QString> replacementWhenTooLarge;
    // Values above the maximum are replaced by it, without an error.
    bool clamp = false;
};
FieldRule ruleFor(const FieldBinding& row, const DisplayState& display);

#pragma once

#include <QString>
#include <optional>

class QLineEdit;
class QWidget;

// The checks every typed value of the pages goes through before it is
// written. Errors are shown in the question box owned by `owner`'s window.

// Upper-bound check of a typed number: the points are removed, so the
// maximum is in the field's smallest unit (1.500 counts as 1500). No lower
// bound. A text that is not an integer once the points are gone gets the
// error box with the conversion's own message and fails the check.
bool controlla_valore(QWidget* owner, const QString& text, qint64 maximum);

// The conversion messages shown for texts that are not numbers.
QString notAnInteger(const QString& text);
QString notANumber(const QString& text);

// How one typed field is checked, reformatted and converted.
struct TypedFieldRule {
    // Decimals of the field's format ("0.0" is 1, the decimals mask of the
    // scale division its own count); empty: no format, written as typed.
    std::optional<int> decimals;
    // Upper bound in the field's smallest unit; empty: none.
    std::optional<qint64> maximum;
    // The setpoint values check the text as typed and reformat after.
    bool checkBeforeFormat = false;
    // Weight-unit fields are written in divisions: the count is divided by
    // the division step, truncated toward zero. 1 for every other field.
    int divisionStep = 1;
    // When set, a failed bound check puts this text into the field and
    // writes it instead of stopping.
    std::optional<QString> replacementWhenTooLarge;
};

// Runs the common pattern on the field's text: convert, reformat into the
// field, check, convert to the integer text to write. Empty when nothing
// must be written (the user has already seen why).
std::optional<QString> acceptTypedField(QLineEdit* field, const TypedFieldRule& rule);

// The integer count of a number at a number of decimals, rounded half away
// from zero; empty when the text is not a number or the count does not fit
// in 32 bits.
std::optional<qint64> countOf(const QString& text, int decimals);

#include "window/valuecheck.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <cmath>
#include <limits>

#include "device/decoding.h"
#include "base/texts.h"
#include "window/questionbox.h"

namespace {

constexpr qint64 kInt32Max = std::numeric_limits<qint32>::max();
constexpr qint64 kInt32Min = std::numeric_limits<qint32>::min();

void showError(QWidget* owner, const QString& message) {
    TFbox::domanda(owner, message, TFbox::Error);
}

}  // namespace

QString notAnInteger(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1String("' ") + tr_("is not a valid integer value");
}

QString notANumber(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1String("' ") +
           tr_("is not a valid floating point value");
}

bool controlla_valore(QWidget* owner, const QString& text, qint64 maximum) {
    QString digits = text;
    digits.remove(QLatin1Char('.'));
    const std::optional<qint64> value = parseInteger(digits);
    if (!value) {
        showError(owner, notAnInteger(digits));
        return false;
    }
    if (*value > maximum) {
        showError(owner, tr_("Invalid number!") + QLatin1String(" :") + text);
        return false;
    }
    return true;
}

std::optional<qint64> countOf(const QString& text, int decimals) {
    const std::optional<double> value = parseReal(text);  // "." only, whatever the locale
    if (!value)
        return std::nullopt;
    const double scaled = std::round(*value * std::pow(10.0, decimals));
    if (scaled > static_cast<double>(kInt32Max) || scaled < static_cast<double>(kInt32Min))
        return std::nullopt;
    return static_cast<qint64>(scaled);
}

std::optional<QString> acceptTypedField(QLineEdit* field, const TypedFieldRule& rule) {
    QWidget* owner = field->window();
    const QString typed = field->text();

    auto setField = [field](const QString& text) {
        const QSignalBlocker quiet(field);
        field->setText(text);
    };

    if (!rule.decimals) {
        if (rule.maximum && !controlla_valore(owner, typed, *rule.maximum)) {
            const bool number = parseInteger(QString(typed).remove(QLatin1Char('.'))).has_value();
            if (!number || !rule.replacementWhenTooLarge)
                return std::nullopt;
            setField(*rule.replacementWhenTooLarge);
            return rule.replacementWhenTooLarge;
        }
        // Written as typed, so it must be an integer as it stands.
        const std::optional<qint64> value = parseInteger(typed.trimmed());
        if (!value) {
            showError(owner, notAnInteger(typed));
            return std::nullopt;
        }
        return QString::number(*value);
    }

    const std::optional<qint64> count = countOf(typed, *rule.decimals);
    if (!count) {
        if (parseReal(typed))
            showError(owner, tr_("Invalid number!") + QLatin1String(" :") + typed);
        else
            showError(owner, notANumber(typed));
        return std::nullopt;
    }
    const QString formatted = countText(*count, *rule.decimals);

    if (rule.checkBeforeFormat && rule.maximum && !controlla_valore(owner, typed, *rule.maximum))
        return std::nullopt;
    setField(formatted);
    if (!rule.checkBeforeFormat && rule.maximum &&
        !controlla_valore(owner, formatted, *rule.maximum))
        return std::nullopt;

    const int step = rule.divisionStep > 0 ? rule.divisionStep : 1;
    return QString::number(*count / step);  // C++ division truncates toward zero
}

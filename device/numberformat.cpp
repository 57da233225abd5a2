#include "device/numberformat.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

const QLocale& cLocale() {
    static const QLocale locale = [] {
        QLocale l = QLocale::c();
        l.setNumberOptions(QLocale::RejectGroupSeparator | QLocale::OmitGroupSeparator);
        return l;
    }();
    return locale;
}

}  // namespace

std::optional<double> parseReal(const QString& text) {
    bool ok = false;
    const double v = cLocale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<qint64> parseInteger(const QString& text) {
    bool ok = false;
    const qint64 v = cLocale().toLongLong(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return v;
}

QString formatFixed(double value, int decimals) {
    QString s = QString::number(value, 'f', decimals);
    // A negative value that rounds to zero is shown as zero, not "-0.00".
    if (s.startsWith(QLatin1Char('-'))) {
        bool allZero = true;
        for (qsizetype k = 1; k < s.size(); ++k)
            if (s[k] != QLatin1Char('0') && s[k] != QLatin1Char('.'))
                allZero = false;
        if (allZero)
            s.remove(0, 1);
    }
    return s;
}

QString countText(qint64 count, int decimals) {
    if (decimals <= 0)
        return QString::number(count);
    const bool negative = count < 0;
    // Magnitude as unsigned, so that the most negative count needs no negation.
    const quint64 magnitude = negative ? quint64(0) - quint64(count) : quint64(count);
    const quint64 scale = quint64(powerOfTen(decimals));
    QString fraction =
        QString::number(magnitude % scale).rightJustified(decimals, QLatin1Char('0'));
    return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude / scale) +
           QLatin1Char('.') + fraction;
}

qint64 powerOfTen(int n) {
    qint64 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

QString decimalsMask(int decimals) {
    return decimals > 0 ? QStringLiteral("0.") + QString(decimals, QLatin1Char('0'))
                        : QStringLiteral("0");
}

int decimalsOfDivision(int divisionIndex) {
    if (divisionIndex >= 0 && divisionIndex <= 2)
        return 3;
    if (divisionIndex >= 3 && divisionIndex <= 5)
        return 2;
    if (divisionIndex >= 6 && divisionIndex <= 8)
        return 1;
    return 0;
}

std::optional<qint32> stepsToCount(qint64 steps, int divisionStep) {
    qint64 product = 0;
    if (__builtin_mul_overflow(steps, qint64(divisionStep), &product) ||
        product < std::numeric_limits<qint32>::min() ||
        product > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(product);
}

qint64 countToSteps(qint64 count, int divisionStep) {
    return count / divisionStep;
}

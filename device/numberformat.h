#pragma once

#include <QString>
#include <optional>

// Number texts of the pages and the value texts of the table. Numbers
// always use "." whatever the regional settings.

std::optional<double> parseReal(const QString& text);
std::optional<qint64> parseInteger(const QString& text);
// The value with exactly `decimals` decimals, as a "0.00"-style mask gives it.
QString formatFixed(double value, int decimals);
// An integer count shown with `decimals` decimals: 12345, 3 -> "12.345".
QString countText(qint64 count, int decimals);

// 10^n for n from 0 to 18.
qint64 powerOfTen(int n);
// "0.000", "0.00", "0.0" or "0" for 3 to 0 decimals.
QString decimalsMask(int decimals);
// The decimals a scale division shows, by its index in the list: 0-2 -> 3,
// 3-5 -> 2, 6-8 -> 1, anything else -> 0.
int decimalsOfDivision(int divisionIndex);

// A count of division steps in units of the last decimal, or nothing when
// the product leaves the signed 32-bit range.
std::optional<qint32> stepsToCount(qint64 steps, int divisionStep);
// A count in units of the last decimal in division steps, truncated toward
// zero. `divisionStep` is at least 1.
qint64 countToSteps(qint64 count, int divisionStep);

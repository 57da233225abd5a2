#pragma once

#include <QString>

// What the pages and the live refresh derive from the received values.
// Weight-like values are integer counts of the last decimal.
struct DisplayState {
    int decimals = 0;                            // 0 to 3
    QString decimalsMask = QStringLiteral("0");  // "0.000", "0.00", "0.0" or "0"
    int divisionStep = 1;                        // 1, 2, 5, 10, 20 or 50
    double usedWeight = 0.0;                     // full scale in display units
    qint32 usedWeightCounts = 0;                 // full scale in counts; limit of weight fields
    qint32 netWeight = 0;
    qint32 grossWeight = 0;
    qint32 peakWeight = 0;
    qint32 adPoints = 0;
    qint32 signal = 0;       // 1/1000 mV/V
    qint32 statusFlags = 0;  // the instrument's status byte
    QString ipText;          // accumulates the dotted addresses
    qint32 commAddress = 0;
    qint32 fieldbusAddressLimit = 126;
    double analogA = 0.0;  // analog preview, hundredths of the unit
    QString analogUnit = QStringLiteral("mA");
};

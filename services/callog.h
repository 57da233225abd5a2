#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// "Cal_log.txt" in the program folder: how many weight calibrations this PC
// has made and when the last one was. Two lines, CR LF, Latin-1: the count
// as a decimal integer, then the date and time.
struct CalLog {
    QString count;
    QString date;
};

// Day name, day/month/4-digit year, 24-hour hours:minutes, such as
// "Tuesday 15/12/2015 09:05". Formatted in the C locale: English day names
// and "/" ":" separators on every machine, so files from different PCs read
// the same and the text does not change with the desktop's language.
QString formatCalibrationDate(const QDateTime& when);

// The file's two lines, or nothing when there is no file (the panel then
// keeps what it shows). A one-line file gives an empty date. A file that
// exists but cannot be read is logged and also gives nothing.
std::optional<CalLog> loadcallog();

struct CalLogSave {
    bool ok = false;
    CalLog shown;   // the new texts; empty when the count was not a number
    QString error;  // why ok is false
};

// Counts one calibration: shown.count = currentCount + 1, shown.date = now,
// and rewrites the file through a temporary file renamed over the old one.
// A count that is not a decimal integer writes nothing. A failed write keeps
// the old file and still returns the new texts, with ok false.
CalLogSave salvacallog(const QString& currentCount,
                       const QDateTime& now = QDateTime::currentDateTime());

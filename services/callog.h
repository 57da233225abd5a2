#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// "Cal_log.txt" in the program folder: how many weight calibrations this PC
// has made and when the last one was. Two lines, CR LF: the count as a
// decimal integer, then the date and time. Latin-1, unless the day name
// needs characters Latin-1 has not (Greek, Cyrillic...): those files are
// UTF-8, and the reader tells the two apart.
struct CalLog {
    QString count;
    QString date;
};

// Day name, day/month/4-digit year, 24-hour hours:minutes, such as
// "Tuesday 15/12/2015 09:05", in the desktop's language: the day name comes
// from QLocale::system() and the "/" and ":" become its date and time
// separators ("Dienstag 15.12.2015 09:05" under de_DE).
QString formatCalibrationDate(const QDateTime& when);
QString formatCalibrationDate(const QDateTime& when, const QLocale& locale);

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

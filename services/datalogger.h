#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// The PC data logger's file and stop rules, without widgets: one line per
// tick, "date;time;weight" ended by CR LF, in the local 8-bit encoding, no
// header. The file is open only while a line is written, so other programs
// can read it while logging runs.
class DataLogger {
public:
    enum Mode { Manual = 0, NumberOfLogs = 1, TimeBased = 2 };
    static constexpr double kMinimumInterval = 0.2;

    // The interval edit's rule: one decimal, halves rounded away from zero,
    // at least "0.2". Empty for a text that is not a number.
    static std::optional<QString> normalizeInterval(const QString& text);
    // The timer interval of a normalized text, truncated to whole ms (and
    // capped at what a timer can hold).
    static int intervalMs(const QString& normalized);

    // The line count of a file (0 when it does not exist): every line,
    // earlier runs included, as the count label shows it.
    static qint64 countLines(const QString& path);

    // Whether the tick that brought the run to `added` lines ends it. The
    // time-based test counts the interval's whole seconds per line, so an
    // interval below one second never ends a time-based run.
    static bool limitReached(Mode mode, qint64 added, qint64 stopValue, double intervalSeconds);

    // Date and time formats are taken from the locale once, here, as the
    // program takes them at start: its short date and its long time (without
    // a time zone, which the long form may carry).
    explicit DataLogger(const QLocale& locale = QLocale::system());

    QString dateFormat() const { return dateFormat_; }
    QString timeFormat() const { return timeFormat_; }
    // One line of the file, line end included.
    QByteArray lineFor(const QDateTime& at, const QString& weight) const;

    // Start: empties the file when `overwrite` (creating it when missing),
    // then counts its lines; the stop tests count only lines added after
    // this. False with *error when the file cannot be created or emptied.
    bool start(const QString& path, bool overwrite, QString* error = nullptr);
    // One tick: appends a line (recreating a file that has vanished) and
    // counts it. False with *error when the line could not be written; the
    // count then stays as it was.
    bool tick(const QDateTime& now, const QString& weight, QString* error = nullptr);

    QString path() const { return path_; }
    qint64 count() const { return count_; }
    qint64 startCount() const { return startCount_; }
    qint64 added() const { return count_ - startCount_; }

private:
    QString dateFormat_;
    QString timeFormat_;
    QLocale locale_;
    QString path_;
    qint64 count_ = 0;
    qint64 startCount_ = 0;
};

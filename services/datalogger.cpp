#include "services/datalogger.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

#include "base/texts.h"
#include "device/decoding.h"

std::optional<QString> DataLogger::normalizeInterval(const QString& text) {
    const std::optional<double> v = parseReal(text.trimmed());
    if (!v || !std::isfinite(*v) || std::fabs(*v) > 1e9)
        return std::nullopt;
    // "0.0" rounds halves away from zero: 2.25 gives 2.3.
    const double rounded = std::round(*v * 10.0) / 10.0;
    if (rounded < kMinimumInterval)
        return QStringLiteral("0.2");
    return QString::number(rounded, 'f', 1);
}

int DataLogger::intervalMs(const QString& normalized) {
    const std::optional<double> v = parseReal(normalized);
    if (!v)
        return 200;
    // A timer counts in int milliseconds: about 24 days at most.
    const double ms = std::trunc(*v * 1000.0 + 1e-6);
    return static_cast<int>(std::min(ms, double(std::numeric_limits<int>::max())));
}

qint64 DataLogger::countLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    qint64 lines = 0;
    while (!file.atEnd()) {
        if (file.readLine().isEmpty())
            break;
        ++lines;
    }
    return lines;
}

bool DataLogger::limitReached(Mode mode, qint64 added, qint64 stopValue, double intervalSeconds) {
    switch (mode) {
        case NumberOfLogs:
            return added >= stopValue;
        case TimeBased: {
            const auto wholeSeconds = static_cast<qint64>(std::trunc(intervalSeconds));
            return wholeSeconds > 0 && added * wholeSeconds >= stopValue;
        }
        case Manual:
            break;
    }
    return false;
}

DataLogger::DataLogger(const QLocale& locale)
    : dateFormat_(locale.dateFormat(QLocale::ShortFormat)),
      timeFormat_(locale.timeFormat(QLocale::LongFormat)),
      locale_(locale) {
    // The long form ends with the zone ("HH:mm:ss t"); the logged time is the
    // PC's wall clock, as the window shows it.
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    timeFormat_.remove(zone);
    timeFormat_ = timeFormat_.trimmed();
}

QByteArray DataLogger::lineFor(const QDateTime& at, const QString& weight) const {
    const QString text = locale_.toString(at.date(), dateFormat_) + QLatin1Char(';') +
                         locale_.toString(at.time(), timeFormat_) + QLatin1Char(';') + weight;
    return text.toLocal8Bit() + "\r\n";
}

bool DataLogger::start(const QString& path, bool overwrite, QString* error) {
    path_ = path;
    if (overwrite) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            if (error)
                *error =
                    tr_("%1 could not be opened for writing: %2").arg(path, file.errorString());
            return false;
        }
    }
    count_ = countLines(path);
    startCount_ = count_;
    return true;
}

bool DataLogger::tick(const QDateTime& now, const QString& weight, QString* error) {
    QFile file(path_);
    const QByteArray line = lineFor(now, weight);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line) != line.size() ||
        !file.flush()) {
        if (error)
            *error = tr_("%1 could not be written: %2").arg(path_, file.errorString());
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = tr_("%1 could not be written: %2").arg(path_, file.errorString());
        return false;
    }
    ++count_;
    return true;
}

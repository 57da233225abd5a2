#include "services/callog.h"

#include <QFile>
#include <QLocale>
#include <limits>

#include "base/eventlog.h"
#include "base/programfolder.h"
#include "services/atomicfile.h"

namespace {
QString callogPath() {
    return ProgramFolder::file(QStringLiteral("Cal_log.txt"));
}
}  // namespace

QString formatCalibrationDate(const QDateTime& when) {
    return QLocale::c().toString(when, QStringLiteral("dddd dd/MM/yyyy HH:mm"));
}

std::optional<CalLog> loadcallog() {
    QFile file(callogPath());
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        EventLog::log(QStringLiteral("Errore: Lettura Cal_log.txt (%1)").arg(file.errorString()));
        return std::nullopt;
    }
    // Two lines are all the file holds; don't read a stray huge file whole.
    const QList<QByteArray> lines = file.read(4096).split('\n');
    auto line = [&](int n) {
        QByteArray raw = n < lines.size() ? lines[n] : QByteArray();
        if (raw.endsWith('\r'))
            raw.chop(1);
        return QString::fromLatin1(raw);
    };
    return CalLog{line(0), line(1)};
}

CalLogSave salvacallog(const QString& currentCount, const QDateTime& now) {
    CalLogSave result;
    bool ok = false;
    const qlonglong count = currentCount.trimmed().toLongLong(&ok, 10);
    if (!ok || count == std::numeric_limits<qlonglong>::max()) {
        result.error =
            QStringLiteral("Calibration count \"%1\" is not a number: Cal_log.txt not written")
                .arg(currentCount);
        return result;
    }
    result.shown.count = QString::number(count + 1);
    result.shown.date = formatCalibrationDate(now);

    const QByteArray bytes =
        result.shown.count.toLatin1() + "\r\n" + result.shown.date.toLatin1() + "\r\n";
    if (!writeFileAtomically(callogPath(), bytes, &result.error))
        return result;
    result.ok = true;
    return result;
}

#include "base/eventlog.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>

#include "base/programfolder.h"

namespace {
QMutex g_mutex;
QString g_lastError;
}  // namespace

QString EventLog::logPath() { return ProgramFolder::file(QStringLiteral("logfile.txt")); }
QString EventLog::backupPath() { return ProgramFolder::file(QStringLiteral("logfile.bak")); }

QString EventLog::lastError() {
    QMutexLocker lock(&g_mutex);
    return g_lastError;
}

bool EventLog::log(const QString& message) {
    QMutexLocker lock(&g_mutex);
    const QString path = logPath();
    QFile file(path);

    if (message == QLatin1String(kStartMessage) && file.exists() && file.size() > kRotateAbove) {
        // A failed copy must not stop the truncation: the log would otherwise
        // grow without bound.
        QFile::remove(backupPath());
        QFile::copy(path, backupPath());
        if (!file.resize(0)) {
            g_lastError = file.errorString();
            return false;
        }
    }

    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        g_lastError = file.errorString();
        return false;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QString line = now.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")) +
                         QStringLiteral(" - ") + message + QStringLiteral("\r\n");
    const QByteArray bytes = line.toLatin1();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        g_lastError = file.errorString();
        return false;
    }
    return true;
}

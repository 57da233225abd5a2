#include "base/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>

namespace {
QMutex g_mutex;
QString g_folder;
}  // namespace

QString ProgramFolder::path() {
    QMutexLocker lock(&g_mutex);
    if (g_folder.isEmpty()) {
        const QString env = qEnvironmentVariable("VELMORA_HOME");
        if (!env.isEmpty())
            g_folder = QDir(env).absolutePath();
        else if (QCoreApplication::instance())
            g_folder = QCoreApplication::applicationDirPath();
        else
            g_folder = QDir::currentPath();
    }
    return g_folder;
}

void ProgramFolder::setPath(const QString& folder) {
    QMutexLocker lock(&g_mutex);
    g_folder = QDir(folder).absolutePath();
}

QString ProgramFolder::file(const QString& relative) {
    return QDir(path()).filePath(relative);
}

QString ProgramFolder::shipped(const QString& relative) {
    return file(relative);
}

#include "base/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <cstdio>

#include "base/texts.h"

namespace {

QMutex g_mutex;
ProgramFolder::Folders g_folders;

// Shipped files of an installed program, relative to its executable's
// folder: <prefix>/bin and <prefix>/share/velmora.
constexpr char kInstallData[] = "../share/velmora";

QString absolute(const QString& folder) {
    return QDir::cleanPath(QDir(folder).absolutePath());
}

bool createFolder(const QString& folder, QString* error) {
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).absolutePath();
    // The folder holds the technician's logs: readable by that user only.
    if (QDir().mkpath(parent) &&
        QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return true;
    if (QFileInfo(folder).isDir())  // another process made it meanwhile
        return true;
    if (error)
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
    return false;
}

bool useLocked(const ProgramFolder::Folders& folders, QString* error) {
    g_folders = folders;
    g_folders.home = absolute(folders.home);
    g_folders.shipped = absolute(folders.shipped.isEmpty() ? folders.home : folders.shipped);
    if (!g_folders.installed)
        return true;
    // Config/ made at once shows where the technician's own definitions go.
    return createFolder(g_folders.home, error) &&
           createFolder(QDir(g_folders.home).filePath(QStringLiteral("Config")), error);
}

const ProgramFolder::Folders& resolvedLocked() {
    if (!g_folders.home.isEmpty())
        return g_folders;
    const QString env = qEnvironmentVariable("VELMORA_HOME");
    if (!env.isEmpty()) {
        useLocked({env, env, false}, nullptr);
    } else if (QCoreApplication::instance()) {
        const QString dir = QCoreApplication::applicationDirPath();
        QString error;
        if (!useLocked(ProgramFolder::locate(dir, QFileInfo(dir).isWritable(),
                                             ProgramFolder::userDataFolder()),
                       &error))
            // The writers then fail one by one with their own messages.
            std::fprintf(stderr, "velmora: %s\n", qPrintable(error));
    } else {
        const QString cwd = QDir::currentPath();
        useLocked({cwd, cwd, false}, nullptr);
    }
    return g_folders;
}

}  // namespace

QString ProgramFolder::path() {
    QMutexLocker lock(&g_mutex);
    return resolvedLocked().home;
}

QString ProgramFolder::shippedPath() {
    QMutexLocker lock(&g_mutex);
    return resolvedLocked().shipped;
}

void ProgramFolder::setPath(const QString& folder) {
    QMutexLocker lock(&g_mutex);
    useLocked({folder, folder, false}, nullptr);
}

bool ProgramFolder::use(const Folders& folders, QString* error) {
    QMutexLocker lock(&g_mutex);
    return useLocked(folders, error);
}

QString ProgramFolder::file(const QString& relative) {
    return QDir(path()).filePath(relative);
}

QString ProgramFolder::shipped(const QString& relative) {
    return QDir(shippedPath()).filePath(relative);
}

QString ProgramFolder::definition(const QString& fileName) {
    const QString relative = QStringLiteral("Config/") + fileName;
    const QString own = file(relative);
    if (QFileInfo::exists(own))
        return own;
    const QString ship = shipped(relative);
    return QFileInfo::exists(ship) ? ship : own;
}

QList<QPair<QString, QString>> ProgramFolder::foldersInUse() {
    Folders f;
    {
        QMutexLocker lock(&g_mutex);
        f = resolvedLocked();
    }
    if (f.home == f.shipped)
        return {{tr_("Program folder"), f.home}};
    return {{tr_("Settings and logs"), f.home}, {tr_("Shipped files"), f.shipped}};
}

ProgramFolder::Folders ProgramFolder::locate(const QString& executableDir, bool writable,
                                             const QString& dataFolder) {
    const QString exe = absolute(executableDir);
    const QString data = QDir::cleanPath(QDir(exe).filePath(QLatin1String(kInstallData)));
    const bool hasOwnConfig = QFileInfo(QDir(exe).filePath(QStringLiteral("Config"))).isDir();
    const bool installLayout = QFileInfo(QDir(data).filePath(QStringLiteral("Config"))).isDir();
    // A writable folder of its own stays the program folder. So does nothing
    // else: the administrator, who may write into <prefix>/bin, must not
    // litter it with logs when the shipped files lie under share/.
    if (writable && (hasOwnConfig || !installLayout))
        return {exe, exe, false};
    return {absolute(dataFolder), installLayout && !hasOwnConfig ? data : exe, true};
}

QString ProgramFolder::userDataFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/velmora"));
}

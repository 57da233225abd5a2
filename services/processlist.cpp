#include "services/processlist.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

const QLatin1String kExe(".exe");

QString withoutExe(const QString& name) {
    return name.endsWith(kExe, Qt::CaseInsensitive) ? name.chopped(kExe.size()) : name;
}

QByteArray readSmall(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // /proc files report no size; a bounded read is enough for these.
    return f.read(64 * 1024);
}

// State letter from /proc/<pid>/stat: the field after the command name,
// which is in parentheses and may itself hold spaces and ')'.
char processState(const QString& dir) {
    const QByteArray stat = readSmall(dir + QStringLiteral("/stat"));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return 0;
    return stat.at(close + 2);
}

bool namesProgram(const QString& dir, const QString& name) {
    QString exe = QFile::symLinkTarget(dir + QStringLiteral("/exe"));
    if (exe.endsWith(QLatin1String(" (deleted)")))
        exe.chop(10);
    if (!exe.isEmpty() && ProcessList::sameProgram(exe, name))
        return true;
    const QString comm = QString::fromLocal8Bit(readSmall(dir + QStringLiteral("/comm"))).trimmed();
    if (!comm.isEmpty() && ProcessList::sameProgram(comm, name))
        return true;
    // The program as it was started: a name longer than comm keeps, or a
    // Windows path under a compatibility layer.
    const QByteArray cmdline = readSmall(dir + QStringLiteral("/cmdline"));
    const QString first = QString::fromLocal8Bit(cmdline.left(cmdline.indexOf('\0')));
    return !first.isEmpty() && ProcessList::sameProgram(first, name);
}

}  // namespace

bool ProcessList::sameProgram(const QString& candidate, const QString& name) {
    const QString wanted = withoutExe(name);
    if (wanted.isEmpty())
        return false;
    const QString whole = withoutExe(candidate);
    if (whole.compare(wanted, Qt::CaseInsensitive) == 0)
        return true;
    const qsizetype cut =
        std::max(candidate.lastIndexOf(QLatin1Char('/')), candidate.lastIndexOf(QLatin1Char('\\')));
    return withoutExe(candidate.mid(cut + 1)).compare(wanted, Qt::CaseInsensitive) == 0;
}

bool ProcessList::isRunning(const QString& name, const QString& procRoot) {
    const QDir root(procRoot);
    const QStringList entries = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString dir = root.filePath(entry);
        // A process that has ended but is not yet reaped runs no more.
        const char state = processState(dir);
        if (state == 'Z' || state == 'X' || state == 0)
            continue;
        if (namesProgram(dir, name))
            return true;
    }
    return false;
}

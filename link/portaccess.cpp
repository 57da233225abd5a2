#include "link/portaccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <vector>

#include "base/texts.h"

namespace {

QString userName() {
    if (const passwd* pw = getpwuid(geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    const QString env = qEnvironmentVariable("USER");
    return env.isEmpty() ? QStringLiteral("$USER") : env;
}

QString groupName(gid_t gid) {
    if (const group* gr = getgrgid(gid))
        return QString::fromLocal8Bit(gr->gr_name);
    return QString::number(gid);
}

bool processHasGroup(gid_t gid) {
    if (getegid() == gid)
        return true;
    const int n = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0 && getgroups(n, groups.data()) == n)
        for (gid_t g : groups)
            if (g == gid)
                return true;
    return false;
}

// In the group database, whatever this login session was started with.
bool userListedInGroup(gid_t gid) {
    const passwd* pw = getpwuid(geteuid());
    if (!pw)
        return false;
    const QByteArray name(pw->pw_name);
    const gid_t base = pw->pw_gid;
    int n = 64;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    if (getgrouplist(name.constData(), base, groups.data(), &n) < 0) {
        groups.resize(static_cast<size_t>(n));
        if (getgrouplist(name.constData(), base, groups.data(), &n) < 0)
            return false;
    }
    for (int i = 0; i < n; ++i)
        if (groups[static_cast<size_t>(i)] == gid)
            return true;
    return false;
}

}  // namespace

QString PortAccess::permissionAdvice(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return tr_("Permission denied on %1.").arg(path);
    // The serial component reports a port whose lock another program holds
    // as a permission error too; joining a group would not help there.
    if (::access(native.constData(), R_OK | W_OK) == 0)
        return tr_("Permission denied on %1: another program is using the port.").arg(path);

    const QString group = groupName(st.st_gid);
    const QString user = userName();
    const bool groupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (!groupMayOpen || st.st_gid == 0)
        return tr_("Permission denied on %1: it belongs to the group \"%2\", which may not "
                   "open it either. Ask the administrator for access.")
            .arg(path, group);
    if (processHasGroup(st.st_gid))
        return tr_("Permission denied on %1.").arg(path);
    if (userListedInGroup(st.st_gid))
        return tr_("Permission denied on %1: your user %2 has joined the group \"%3\" since "
                   "logging in. Log out and in again.")
            .arg(path, user, group);
    return tr_("Permission denied on %1: it belongs to the group \"%2\". Join it with\n"
               "  sudo usermod -aG %2 %3\n"
               "and log in again.")
        .arg(path, group, user);
}

bool PortAccess::isPseudoTerminal(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.startsWith(QLatin1String("/dev/pts/")) || target == QLatin1String("/dev/ptmx");
}

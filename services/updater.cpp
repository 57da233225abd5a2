#include "services/updater.h"

#include <QFileInfo>
#include <QProcess>

#include "base/eventlog.h"
#include "base/programfolder.h"

QString Updater::path() {
    const QString base = QString::fromLatin1(kProgram);
    for (const QString& name : {base, base + QStringLiteral(".exe")}) {
        const QString candidate = ProgramFolder::shipped(name);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

bool Updater::startIfPresent() {
    const QString program = path();
    if (program.isEmpty())
        return false;
    if (QProcess::startDetached(program, {QString::fromLatin1(kArgument)},
                                QFileInfo(program).absolutePath()))
        return true;
    EventLog::log(QStringLiteral("Errore: Avvio di ") + program);
    return false;
}

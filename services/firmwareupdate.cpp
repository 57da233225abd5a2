#include "services/firmwareupdate.h"

#include <QFileInfo>
#include <QProcess>

#include "base/eventlog.h"
#include "base/programfolder.h"
#include "services/processlist.h"
#include "session/connection.h"
#include "session/session.h"

FirmwareUpdate::FirmwareUpdate(Session& session, QObject* parent) : QObject(parent), s_(session) {
    check_.setInterval(kCheckIntervalMs);
    connect(&check_, &QTimer::timeout, this, &FirmwareUpdate::check);
}

QString FirmwareUpdate::toolPath() {
    const QString folder = QString::fromLatin1(kToolName) + QLatin1Char('/');
    const QString base = QString::fromLatin1(kToolName);
    for (const QString& name : {base, base + QStringLiteral(".exe")}) {
        const QString path = ProgramFolder::shipped(folder + name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

void FirmwareUpdate::start() {
    LinkState& link = s_.link();
    if (!link.aggiornamento_fw)
        EventLog::log(QStringLiteral("Applicazione: Aggiornamento firmware"));
    link.aggiornamento_fw = true;
    s_.tRecover().stop();
    s_.port().close();
    link.porta_chiusa = true;
    link.online = false;
    s_.connection().disablePages();
    s_.connection().refreshPresentation();

    const QString tool = toolPath();
    if (!tool.isEmpty() && !QProcess::startDetached(tool, {}, QFileInfo(tool).absolutePath()))
        EventLog::log(QStringLiteral("Errore: Avvio di ") + tool);

    // A wait already under way goes on and covers this copy too.
    if (waiting())
        return;
    if (ProcessList::isRunning(QString::fromLatin1(kToolName)))
        check_.start();
    else
        finish();
}

void FirmwareUpdate::check() {
    if (!ProcessList::isRunning(QString::fromLatin1(kToolName)))
        finish();
}

void FirmwareUpdate::finish() {
    check_.stop();
    s_.link().aggiornamento_fw = false;
    EventLog::log(QStringLiteral("Applicazione: Fine aggiornamento firmware"));
    s_.tRecover().start();
    Q_EMIT finished();
}

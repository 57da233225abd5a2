#include "session/connection.h"

#include <QCoreApplication>

#include "base/eventlog.h"
#include "link/portaccess.h"
#include "link/portaddress.h"
#include "link/protocol.h"
#include "session/requests.h"
#include "session/session.h"

void Connection::connectInstrument() {
    LinkState& link = s_.link();
    ParameterTable& t = s_.table();
    link.parametri_caricati = false;
    link.canale_occupato = true;
    // Held only up to the end of the identification; whatever way we leave
    // before that (no port chosen, an exception in a wait) must free it, or
    // every builder refuses from then on.
    struct LockUntilIdentified {
        LinkState& link;
        bool held = true;
        void release() {
            if (held)
                link.canale_occupato = false;
            held = false;
        }
        ~LockUntilIdentified() { release(); }
    } lock{link};
    s_.tRecover().stop();

    if (s_.settings().porta == QLatin1String("NO")) {
        lock.release();
    } else {
        // A serial adapter just opened needs time to settle; a pseudo-terminal
        // or a network port has no adapter.
        const QString& porta = s_.settings().porta;
        if (!PortAccess::isPseudoTerminal(porta) && !PortAddress::looksNetwork(porta))
            s_.mySleep(300);
        if (!s_.transmitThreadRunning())
            s_.startTransmitThread();
        t.clearByteTotals();
        link.online = false;
        // Only the identification's own end ends this wait.
        const ExchangePtr identification =
            s_.accoda_comando(ExchangeKind::Identify, s_.requests().identificationBody());
        if (!identification->ended())
            s_.waitExchange(identification);
        identification_ = identification->outcome();
        lock.release();
        s_.flushControls();

        if (!link.online) {
            s_.tRecover().stop();
            s_.tRecover().start();
            refreshPresentation();
            return;
        }

        s_.view().setMainWindowEnabled(false);
        s_.tRecover().stop();
        link.uso_esclusivo = true;
        int i = 0;
        bool allAnswered = true;
        const int total = t.count(0);
        if (total > 0) {
            s_.view().showProgress(total);
            while (i < total && allAnswered) {
                // A refused value is an answer: the read-out goes on.
                const Outcome read = s_.requests().leggi_parametro(i, true);
                allAnswered = read.isAnswered() || (read.kind == Outcome::Kind::Refused &&
                                                    read.exceptionCode == proto::kIllegalValue);
                ++i;
                s_.view().setProgress(i);
            }
            s_.view().setBusyCursor(false);
            s_.setUnsaved(false);
        }
        if (!allAnswered)
            link.online = false;

        link.parametri_caricati = true;
        s_.view().setMainWindowEnabled(true);
        link.setUltimaRichiesta(QByteArray());
        s_.mySleep(displayWaitMs_);
        s_.view().closeProgress();
        link.uso_esclusivo = false;
        if (!link.online) {
            disablePages();
            s_.tRecover().start();
            s_.port().close();
        }
        refreshPresentation();
        // An instrument that the link left in a test mode is put back to
        // normal operation by the first connection to it.
        if (link.online && link.parametri_caricati)
            s_.endTestsAfterConnect();
    }

    ControlModel& c = s_.controls();
    c.publish(ControlUpdate::setEnabled(QStringLiteral("BtBackup"), true));
    s_.view().setSendButtonOrange();
    s_.flushControls();
}

void Connection::loadOfflineDefinition() {
    LinkState& link = s_.link();
    if (link.online)
        return;
    ParameterTable& t = s_.table();
    t.definitionPath = offlineDefinitionPath();
    t.definitionVersion = QString::fromLatin1(ParameterTable::kDefaultVersion);
    const auto r = t.loadDefinition(t.definitionPath);
    if (!r.ok)
        EventLog::log(QStringLiteral("Errore: ") + r.error);
    s_.publishPollGeometry();
    link.online = false;
    refreshPresentation();
}

void Connection::refreshPresentation() {
    LinkState& link = s_.link();
    ControlModel& c = s_.controls();
    const bool online = link.online;
    try {
        for (const char* name : {"Pan_infoA", "Pan_infoB", "Pan_peso", "Pan_inout"})
            c.publish(ControlUpdate::setVisible(QString::fromLatin1(name), online));
        c.publish(ControlUpdate::setEnabled(QStringLiteral("btTara"), online));
        c.publish(ControlUpdate::setEnabled(QStringLiteral("BtFirmware"), !online));
        c.publish(ControlUpdate::setVisible(QStringLiteral("GB_Reset"), online));
        if (online) {
            enablePages();
        } else {
            s_.view().setStatusText(0, QStringLiteral("Status: Offline"));
            link.parametri_caricati = false;
        }
        s_.flushControls();
        s_.view().applyLook(online);
    } catch (...) {
        // A look that cannot be applied must not stop the link.
    }
    Q_EMIT s_.onlineChanged(online);
    QCoreApplication::processEvents();
}

void Connection::enablePages() {
    ControlModel& c = s_.controls();
    const bool offlineMode = s_.link().modo_offline;
    for (const char* name :
         {"Button1", "Button2", "Button4", "Button5", "Button7", "Button9", "Button13"})
        c.publish(ControlUpdate::setEnabled(QString::fromLatin1(name), true));
    for (const char* name : {"btTara", "Button8", "Button11", "Button12"})
        c.publish(ControlUpdate::setEnabled(QString::fromLatin1(name), !offlineMode));
    c.publish(ControlUpdate::setVisible(QStringLiteral("Pan_inout"), !offlineMode));
    c.publish(ControlUpdate::setVisible(QStringLiteral("Pan_infoA"), !offlineMode));
    s_.flushControls();
}

void Connection::disablePages() {
    ControlModel& c = s_.controls();
    for (const char* name : {"Button1", "Button2", "Button4", "Button5", "Button9", "Button13",
                             "Button6", "btTara", "Button8", "Button11", "Button12"})
        c.publish(ControlUpdate::setEnabled(QString::fromLatin1(name), false));
    c.publish(ControlUpdate::setVisible(QStringLiteral("Pan_inout"), false));
    c.publish(ControlUpdate::setVisible(QStringLiteral("Pan_infoA"), false));
    s_.flushControls();
}

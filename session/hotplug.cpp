#include "session/hotplug.h"

#include <QDir>
#include <QFileInfo>

#include "base/eventlog.h"
#include "session/connection.h"
#include "session/session.h"

namespace {
// The link in `folder` (udev's by-id links) that leads to `port`; empty
// when none does.
QString byIdLinkOf(const QString& port, const QString& folder) {
    const QString target = QFileInfo(port).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir dir(folder);
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    return {};
}
}  // namespace

// ---------------------------------------------------------------- PortWatch

PortWatch::PortWatch(Session& session, QObject* parent) : QObject(parent), s_(session) {}

PortWatch::~PortWatch() {
    if (queue_)
        queue_->close();
    if (monitor_) {
        monitor_->stop();
        // A thread that does not end in time is left to process exit.
        if (!monitor_->waitEnded(2000)) {
            [[maybe_unused]] TRegMonitorThread* left = monitor_.release();
        }
    }
}

void PortWatch::start() {
    if (monitor_)
        return;
    udev_ = new UdevMonitor(this);
    connect(udev_, &UdevMonitor::deviceEvent, this, &PortWatch::messaggiousb);
    udev_->start();
    queue_ = std::make_shared<MainQueue>();
    attachToEventLoop(queue_, this);
    // The call runs on the main thread while we live (the queue is closed
    // before we go).
    monitor_ =
        std::make_unique<TRegMonitorThread>(queue_, [this](const QString&) { message_bb5(); });
    lastConfigured_ = s_.settings().porta;
    monitor_->setWatchedPort(lastConfigured_);
    monitor_->start();
}

bool PortWatch::handlersActive() const {
    return s_.startupComplete() && !s_.link().richiesta_stop;
}

void PortWatch::cercacom() {
    const QStringList old = ports_;
    QStringList list = lister_();
    const QString porta = s_.settings().porta;
    if (porta != QLatin1String("NO")) {
        if (porta != lastConfigured_)
            configuredById_.clear();
        lastConfigured_ = porta;
        const QString byId = byIdLinkOf(porta, byIdFolder_);
        if (!byId.isEmpty())
            configuredById_ = byId;
    }
    if (monitor_)
        monitor_->setWatchedPort(lastConfigured_);
    // A configured device outside the system's list (a pty, a link to one)
    // counts while it exists.
    if (!lastConfigured_.isEmpty() && lastConfigured_ != QLatin1String("NO") &&
        QFileInfo::exists(lastConfigured_) && !list.contains(lastConfigured_))
        list.append(lastConfigured_);
    list.append(QStringLiteral("NO"));
    list.sort();
    ports_ = list;

    ControlModel& c = s_.controls();
    c.publish(ControlUpdate::setItems(QStringLiteral("CBPorta"), list));
    int sel = -1;
    for (int i = 0; i < list.size(); ++i)
        if (list[i].compare(porta, Qt::CaseInsensitive) == 0)
            sel = i;
    if (sel < 0)
        sel = static_cast<int>(list.indexOf(QStringLiteral("NO")));
    c.publish(ControlUpdate::setIndex(QStringLiteral("CBPorta"), sel));
    s_.flushControls();

    if (old.size() != list.size()) {
        for (qsizetype i = 0; i < old.size() && i < list.size(); ++i) {
            if (old[i] != list[i]) {
                cambio_porta_ = list.size() > old.size() ? list[i] : QStringLiteral("-") + old[i];
                break;
            }
        }
    }
    Q_EMIT portListChanged(list);
}

bool PortWatch::isConfiguredAdapter(const QString& name) const {
    if (name.isEmpty() || name == QLatin1String("NO"))
        return false;
    if (name == lastConfigured_)
        return true;
    if (configuredById_.isEmpty())
        return false;
    // A link left dangling (the adapter gone) leads nowhere, not to every
    // name that does not exist either.
    const QString target = QFileInfo(configuredById_).canonicalFilePath();
    return !target.isEmpty() && target == QFileInfo(name).canonicalFilePath();
}

bool PortWatch::takeArrivedPort(const QString& name) {
    s_.settings().porta = name;
    if (!isConfiguredAdapter(name)) {
        s_.settings().velocita = QStringLiteral("19200");
        return false;
    }
    // The configured adapter is back: its speed stays, and the connection
    // starts now rather than at the recovery timer's next tick.
    if (s_.link().aggiornamento_fw)
        return false;
    s_.impostacom();
    if (!s_.port().isOpen()) {
        // Listed but not yet to be opened (udev may still be setting its
        // permissions): it stays the chosen port, so the recovery timer
        // tries it again instead of forgetting it until the list changes.
        s_.settings().porta = name;
        s_.link().porta_scelta = true;
        return false;
    }
    return s_.link().online;
}

void PortWatch::messaggiousb(int event, const QString& name) {
    LinkState& link = s_.link();
    if (link.aggiornamento_fw || !handlersActive())
        return;
    switch (event) {
        case NodesChanged:
            if (s_.port().isOpen())
                EventLog::log(QStringLiteral("Errore: USB rimossa!!"));
            break;
        case Arrival:
            cercacom();
            if (name == s_.port().portName()) {
                s_.impostacom();
                s_.impostacom();
            } else {
                // Another port: taken only while nothing answers, but the
                // configured one is set up again either way.
                if (!link.online && isConfiguredAdapter(name)) {
                    takeArrivedPort(name);
                    break;
                }
                if (!link.online) {
                    s_.settings().porta = name;
                    s_.settings().velocita = QStringLiteral("19200");
                }
                s_.impostacom();
            }
            break;
        case Removal:
            if (name == s_.port().portName()) {
                link.porta_chiusa = true;
                if (s_.port().isOpen()) {
                    s_.port().close();
                    link.online = false;
                    s_.connection().disablePages();
                    s_.connection().refreshPresentation();
                }
            }
            break;
        default:
            break;
    }
}

void PortWatch::message_bb5() {
    LinkState& link = s_.link();
    if (!handlersActive())
        return;
    // A device coming or going in /dev cannot concern a live network port:
    // only the list follows, and the connection is left alone.
    if (s_.port().isNetwork() && s_.port().isOpen()) {
        cercacom();
        return;
    }
    if (s_.port().isOpen())
        s_.port().close();
    s_.tRecover().stop();
    cambio_porta_.clear();
    bool connectedNow = false;
    cercacom();
    if (cambio_porta_.startsWith(QLatin1Char('-'))) {
        if (cambio_porta_.mid(1) == s_.port().portName()) {
            link.porta_chiusa = true;
            s_.settings().porta = QStringLiteral("NO");
            link.porta_scelta = false;
            link.online = false;
            s_.connection().disablePages();
            s_.connection().refreshPresentation();
        } else if (!link.aggiornamento_fw) {
            s_.impostacom();
        }
    } else if (!cambio_porta_.isEmpty() && !link.online) {
        connectedNow = takeArrivedPort(cambio_porta_);
    }
    // The firmware programmer holds the port: the list and the settings
    // follow the change, the port is opened again only when it has ended.
    // A link the arrival has just connected needs no recovery.
    if (!link.aggiornamento_fw && !connectedNow)
        s_.tRecover().start();
}

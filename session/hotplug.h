#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

#include "link/mainqueue.h"
#include "link/portwatch.h"

class Session;

// The two hot-plug channels and the port list scan for a session.
class PortWatch : public QObject {
    Q_OBJECT
public:
    enum UsbEvent {
        NodesChanged = UdevMonitor::NodesChanged,
        Arrival = UdevMonitor::Arrival,
        Removal = UdevMonitor::Removal
    };

    explicit PortWatch(Session& session, QObject* parent = nullptr);
    ~PortWatch() override;

    // Starts the udev monitor (when udev runs here) and the inotify thread.
    void start();

    // cercacom: rebuilds the port list (CBPorta), selects porta and velocita,
    // and sets cambio_porta to the first difference in a list of changed length.
    void cercacom();
    QStringList ports() const { return ports_; }
    QString cambio_porta() const { return cambio_porta_; }

    // Where the system's list of serial ports comes from: systemSerialPorts
    // unless replaced (a test stands in for adapters it cannot plug in).
    void setPortLister(std::function<QStringList()> lister) { lister_ = std::move(lister); }
    // Where udev keeps an adapter's stable links: /dev/serial/by-id unless
    // replaced (a test stands in for udev).
    void setByIdFolder(const QString& folder) { byIdFolder_ = folder; }

    void messaggiousb(int event, const QString& name);
    void message_bb5();

Q_SIGNALS:
    void portListChanged(const QStringList& ports);

private:
    bool handlersActive() const;
    // The configured adapter back in the list: by its name, or under a new
    // name by the /dev/serial/by-id link noted while it was configured.
    bool isConfiguredAdapter(const QString& name) const;
    // A port that appeared while offline: the configured adapter keeps its
    // speed and is connected at once; another is taken at 19200. True when
    // it connected.
    bool takeArrivedPort(const QString& name);

    Session& s_;
    QStringList ports_;
    QString cambio_porta_;
    QString lastConfigured_;
    // The by-id link of the configured adapter, when udev names one.
    QString configuredById_;
    std::function<QStringList()> lister_ = systemSerialPorts;
    QString byIdFolder_ = QStringLiteral("/dev/serial/by-id");
    // Declared before the thread, which may hold it beyond us.
    std::shared_ptr<MainQueue> queue_;
    std::unique_ptr<TRegMonitorThread> monitor_;
    UdevMonitor* udev_ = nullptr;
};

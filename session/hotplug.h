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

    void messaggiousb(int event, const QString& name);
    void message_bb5();

Q_SIGNALS:
    void portListChanged(const QStringList& ports);

private:
    bool handlersActive() const;

    Session& s_;
    QStringList ports_;
    QString cambio_porta_;
    QString lastConfigured_;
    std::function<QStringList()> lister_ = systemSerialPorts;
    // Declared before the thread, which may hold it beyond us.
    std::shared_ptr<MainQueue> queue_;
    std::unique_ptr<TRegMonitorThread> monitor_;
    UdevMonitor* udev_ = nullptr;
};

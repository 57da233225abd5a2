#pragma once

#include <QObject>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "link/mainqueue.h"

class QSocketNotifier;
class Session;

// TRegMonitorThread: blocks on inotify for /dev, /dev/serial/by-id and the
// folder holding the configured port, and hands each change of a serial
// device node to the main thread (message_bb5) through a MainQueue.
class TRegMonitorThread : public QThread {
    Q_OBJECT
public:
    // onChange runs on the main thread, once per relevant change.
    TRegMonitorThread(std::shared_ptr<MainQueue> queue,
                      std::function<void(const QString&)> onChange);
    ~TRegMonitorThread() override;

    // The configured port's folder joins the watched folders; takes effect
    // at the next change or immediately when the thread is idle.
    void setWatchedPort(const QString& path);
    // Wakes the blocking wait and asks the thread to end.
    void stop();
    // True once run() has returned (set under a std::mutex as its last act).
    bool waitEnded(int timeoutMs);

protected:
    void run() override;

private:
    void watch();

    std::shared_ptr<MainQueue> queue_;
    std::function<void(const QString&)> onChange_;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    QString watchedPort_;
    std::condition_variable endCv_;
    bool ended_ = false;
};

// The two hot-plug channels and the port list scan for a session.
class PortWatch : public QObject {
    Q_OBJECT
public:
    enum UsbEvent { NodesChanged = 7, Arrival = 0x8000, Removal = 0x8004 };

    explicit PortWatch(Session& session, QObject* parent = nullptr);
    ~PortWatch() override;

    // Starts the udev monitor (when udev runs here) and the inotify thread.
    void start();

    // cercacom: rebuilds the port list (CBPorta), selects porta and velocita,
    // and sets cambio_porta to the first difference in a list of changed length.
    void cercacom();
    QStringList ports() const { return ports_; }
    QString cambio_porta() const { return cambio_porta_; }

    void messaggiousb(int event, const QString& name);
    void message_bb5();

Q_SIGNALS:
    void portListChanged(const QStringList& ports);

private:
    void onUdev();
    bool handlersActive() const;

    Session& s_;
    QStringList ports_;
    QString cambio_porta_;
    QString lastConfigured_;
    // Declared before the thread, which may hold it beyond us.
    std::shared_ptr<MainQueue> queue_;
    std::unique_ptr<TRegMonitorThread> monitor_;
    QSocketNotifier* udevNotifier_ = nullptr;
    struct udev* udev_ = nullptr;
    struct udev_monitor* udevMonitor_ = nullptr;
};

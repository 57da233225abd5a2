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

// The device arrival/removal broadcast: a libudev monitor on the tty
// subsystem, read on the main thread through a socket notifier. Where no
// udev runs, start() returns false and the inotify channel carries hot-plug
// alone.
class UdevMonitor : public QObject {
    Q_OBJECT
public:
    enum Event { NodesChanged = 7, Arrival = 0x8000, Removal = 0x8004 };

    explicit UdevMonitor(QObject* parent = nullptr);
    ~UdevMonitor() override;

    bool start();

Q_SIGNALS:
    // The device node's path; NodesChanged for a "change" action.
    void deviceEvent(int event, const QString& node);

private:
    void onReadable();

    QSocketNotifier* notifier_ = nullptr;
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
};

// The serial ports the system lists, by device path.
QStringList systemSerialPorts();

#include "link/portwatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSocketNotifier>

#include "base/eventlog.h"

#ifdef VELMORA_HAVE_UDEV
#include <libudev.h>
#endif

namespace {
bool isSerialNode(const QString& name) {
    return name.startsWith(QLatin1String("tty")) || name.startsWith(QLatin1String("rfcomm"));
}
}  // namespace

// ---------------------------------------------------------------- TRegMonitorThread

TRegMonitorThread::TRegMonitorThread(std::shared_ptr<MainQueue> queue,
                                     std::function<void(const QString&)> onChange)
    : queue_(std::move(queue)), onChange_(std::move(onChange)) {
    setObjectName(QStringLiteral("TRegMonitorThread"));
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TRegMonitorThread::~TRegMonitorThread() {
    // Only deleted once run() has returned (PortWatch checks waitEnded).
    wait(1000);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

bool TRegMonitorThread::waitEnded(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return endCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ended_; });
}

void TRegMonitorThread::setWatchedPort(const QString& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (watchedPort_ == path)
            return;
        watchedPort_ = path;
    }
    const quint64 one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        auto n = ::write(wakeFd_, &one, sizeof one);
}

void TRegMonitorThread::stop() {
    stop_ = true;
    const quint64 one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        auto n = ::write(wakeFd_, &one, sizeof one);
}

void TRegMonitorThread::run() {
    watch();
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    endCv_.notify_all();
}

void TRegMonitorThread::watch() {
    while (!stop_) {
        const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0) {
            EventLog::log(QStringLiteral("Errore: Unable to watch the serial ports (inotify)"));
            return;
        }
        QString port;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            port = watchedPort_;
        }
        const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
        // Which folder each watch stands for, and which names in it count.
        struct Watch {
            int wd;
            QString folder;
            QString onlyName;
        };
        QList<Watch> watches;
        auto add = [&](const QString& folder, const QString& onlyName) {
            const int wd = inotify_add_watch(fd, QFile::encodeName(folder).constData(), mask);
            if (wd >= 0)
                watches.append({wd, folder, onlyName});
        };
        add(QStringLiteral("/dev"), QString());
        if (QFileInfo::exists(QStringLiteral("/dev/serial/by-id")))
            add(QStringLiteral("/dev/serial/by-id"), QString());
        if (!port.isEmpty() && port != QLatin1String("NO")) {
            const QFileInfo fi(port);
            if (fi.absolutePath() != QLatin1String("/dev"))
                add(fi.absolutePath(), fi.fileName());
        }

        bool rebuild = false;
        while (!stop_ && !rebuild) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0)
                continue;
            if (fds[1].revents & POLLIN) {
                quint64 v;
                [[maybe_unused]] auto n = ::read(wakeFd_, &v, sizeof v);
                rebuild = true;
            }
            if (!(fds[0].revents & POLLIN))
                continue;
            alignas(inotify_event) char buf[4096];
            const ssize_t len = ::read(fd, buf, sizeof buf);
            for (ssize_t off = 0; off < len;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                const QString name = ev->len ? QFile::decodeName(ev->name) : QString();
                for (const Watch& w : watches) {
                    if (w.wd != ev->wd)
                        continue;
                    const bool relevant =
                        w.onlyName.isEmpty()
                            ? (w.folder != QLatin1String("/dev") || isSerialNode(name))
                            : name == w.onlyName;
                    if (relevant) {
                        const QString path = QDir(w.folder).filePath(name);
                        queue_->post([onChange = onChange_, path] { onChange(path); });
                    }
                }
            }
        }
        ::close(fd);
    }
}

// ---------------------------------------------------------------- UdevMonitor

UdevMonitor::UdevMonitor(QObject* parent) : QObject(parent) {}

UdevMonitor::~UdevMonitor() {
#ifdef VELMORA_HAVE_UDEV
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
#endif
}

bool UdevMonitor::start() {
#ifdef VELMORA_HAVE_UDEV
    if (notifier_)
        return true;
    udev_ = udev_new();
    if (udev_)
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ && udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) >= 0 &&
        udev_monitor_enable_receiving(monitor_) >= 0) {
        notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &UdevMonitor::onReadable);
        return true;
    }
#endif
    return false;
}

void UdevMonitor::onReadable() {
#ifdef VELMORA_HAVE_UDEV
    udev_device* dev = udev_monitor_receive_device(monitor_);
    if (!dev)
        return;
    const char* actionText = udev_device_get_action(dev);
    const QString action = QString::fromLatin1(actionText ? actionText : "");
    const char* node = udev_device_get_devnode(dev);
    const QString name = node ? QString::fromLocal8Bit(node) : QString();
    udev_device_unref(dev);
    if (action == QLatin1String("add"))
        Q_EMIT deviceEvent(Arrival, name);
    else if (action == QLatin1String("remove"))
        Q_EMIT deviceEvent(Removal, name);
    else if (action == QLatin1String("change"))
        Q_EMIT deviceEvent(NodesChanged, name);
#endif
}

QStringList systemSerialPorts() {
    QStringList list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        list.append(info.systemLocation());
    return list;
}

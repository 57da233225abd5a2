#include "link/portwatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSocketNotifier>

#include "device/connection.h"
#include "device/eventlog.h"
#include "device/session.h"

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
#ifdef VELMORA_HAVE_UDEV
    if (udevMonitor_)
        udev_monitor_unref(udevMonitor_);
    if (udev_)
        udev_unref(udev_);
#endif
}

void PortWatch::start() {
    if (monitor_)
        return;
#ifdef VELMORA_HAVE_UDEV
    udev_ = udev_new();
    if (udev_)
        udevMonitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (udevMonitor_ &&
        udev_monitor_filter_add_match_subsystem_devtype(udevMonitor_, "tty", nullptr) >= 0 &&
        udev_monitor_enable_receiving(udevMonitor_) >= 0) {
        udevNotifier_ =
            new QSocketNotifier(udev_monitor_get_fd(udevMonitor_), QSocketNotifier::Read, this);
        connect(udevNotifier_, &QSocketNotifier::activated, this, &PortWatch::onUdev);
    }
#endif
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

void PortWatch::onUdev() {
#ifdef VELMORA_HAVE_UDEV
    udev_device* dev = udev_monitor_receive_device(udevMonitor_);
    if (!dev)
        return;
    const QString action = QString::fromLatin1(udev_device_get_action(dev));
    const char* node = udev_device_get_devnode(dev);
    const QString name = node ? QString::fromLocal8Bit(node) : QString();
    udev_device_unref(dev);
    if (action == QLatin1String("add"))
        messaggiousb(Arrival, name);
    else if (action == QLatin1String("remove"))
        messaggiousb(Removal, name);
    else if (action == QLatin1String("change"))
        messaggiousb(NodesChanged, name);
#endif
}

bool PortWatch::handlersActive() const {
    return s_.startupComplete() && !s_.link().richiesta_stop;
}

void PortWatch::cercacom() {
    const QStringList old = ports_;
    QStringList list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        list.append(info.systemLocation());
    const QString porta = s_.settings().porta;
    if (porta != QLatin1String("NO"))
        lastConfigured_ = porta;
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
            } else if (!link.online) {
                s_.settings().porta = name;
                s_.settings().velocita = QStringLiteral("19200");
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
    if (s_.port().isOpen())
        s_.port().close();
    s_.tRecover().stop();
    cambio_porta_.clear();
    cercacom();
    if (cambio_porta_.startsWith(QLatin1Char('-'))) {
        if (cambio_porta_.mid(1) == s_.port().portName()) {
            link.porta_chiusa = true;
            s_.settings().porta = QStringLiteral("NO");
            link.porta_scelta = false;
            link.online = false;
            s_.connection().disablePages();
            s_.connection().refreshPresentation();
        } else {
            s_.impostacom();
        }
    } else if (!cambio_porta_.isEmpty() && !link.online) {
        s_.settings().porta = cambio_porta_;
        s_.settings().velocita = QStringLiteral("19200");
    }
    s_.tRecover().start();
}

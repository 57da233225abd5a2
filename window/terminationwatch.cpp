#include "window/terminationwatch.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QDialog>
#include <QScopedValueRollback>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>

namespace {

int g_signalFd[2] = {-1, -1};

void onTerminate(int) {
    const char c = 1;
    // Only a write is safe here.
    [[maybe_unused]] const ssize_t n = ::write(g_signalFd[1], &c, 1);
}

}  // namespace

TerminationWatch::TerminationWatch(QObject* parent) : QObject(parent) {}

TerminationWatch::~TerminationWatch() {
    if (qApp)
        qApp->removeEventFilter(this);
}

bool TerminationWatch::install() {
    if (notifier_)
        return true;
    if (g_signalFd[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFd) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    notifier_ = new QSocketNotifier(g_signalFd[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationWatch::onSignal);
    qApp->installEventFilter(this);
    return true;
}

void TerminationWatch::setWindow(QWidget* window) {
    window_ = window;
    // Start-up is over: boxes opened from now on are the technician's.
    dismissing_ = false;
}

void TerminationWatch::onSignal() {
    char c;
    [[maybe_unused]] const ssize_t n = ::read(g_signalFd[0], &c, 1);
    requested_ = true;
    ++handled_;
    if (!window_) {
        // Start-up: its boxes close as they come, and the caller ends the
        // program once start-up returns.
        dismissing_ = true;
        closeBoxes();
        return;
    }
    // A box waiting now closes first; the close sequence then runs from the
    // main loop, not nested inside that box's own.
    closeBoxes();
    QTimer::singleShot(0, this, [this] {
        if (!window_)
            return;
        bool closed = false;
        {
            const QScopedValueRollback quiet(dismissing_, true);
            closed = window_->close();
        }
        if (closed)
            Q_EMIT quitRequested();
    });
}

void TerminationWatch::closeBoxes() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->isModal())
            QMetaObject::invokeMethod(d, &QWidget::close, Qt::QueuedConnection);
}

bool TerminationWatch::eventFilter(QObject* watched, QEvent* event) {
    if (dismissing_ && event->type() == QEvent::Show) {
        auto* d = qobject_cast<QDialog*>(watched);
        if (d && d->isModal())
            QMetaObject::invokeMethod(d, &QWidget::close, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

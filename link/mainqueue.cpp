#include "link/mainqueue.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdint>

#include "base/eventlog.h"

MainQueue::MainQueue() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MainQueue::~MainQueue() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool MainQueue::post(std::function<void()> call) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_)
            return false;
        calls_.push_back(std::move(call));
    }
    if (fd_ >= 0) {
        const std::uint64_t one = 1;
        // EAGAIN means the counter is saturated: the notifier fires anyway.
        ssize_t n;
        do {
            n = ::write(fd_, &one, sizeof one);
        } while (n < 0 && errno == EINTR);
    }
    return true;
}

bool MainQueue::takeNext(std::function<void()>* call) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (calls_.empty())
        return false;
    *call = std::move(calls_.front());
    calls_.pop_front();
    return true;
}

void MainQueue::drain() {
    if (fd_ >= 0) {
        // Cleared before the queue is read: a post that lands after this
        // read rings again, so nothing is left waiting without a wake-up.
        std::uint64_t count = 0;
        ssize_t n;
        do {
            n = ::read(fd_, &count, sizeof count);
        } while (n < 0 && errno == EINTR);
    }
    std::function<void()> call;
    while (takeNext(&call)) {
        call();
        call = nullptr;
    }
}

void MainQueue::close() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        dropped.swap(calls_);
    }
}

bool MainQueue::closed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

void attachToEventLoop(const std::shared_ptr<MainQueue>& queue, QObject* owner) {
    const std::weak_ptr<MainQueue> weak = queue;
    const auto drain = [weak] {
        if (const auto q = weak.lock())
            q->drain();
    };
    if (queue->fd() >= 0) {
        auto* notifier = new QSocketNotifier(queue->fd(), QSocketNotifier::Read, owner);
        QObject::connect(notifier, &QSocketNotifier::activated, owner, drain);
        return;
    }
    // No eventfd to spare: the calls are still run, a few ms later.
    EventLog::log(
        QStringLiteral("Errore: No eventfd for a thread's calls; they run on a 5 ms timer"));
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, drain);
    timer->start(5);
}

#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

// Hands work from the transmit thread to the main thread, in the order it was
// asked for. A std::mutex guards the queue, so everything a posted call
// carries is published to the main thread by that lock alone; an eventfd
// wakes the main thread's event loop (a QSocketNotifier watches fd()).
//
// Shared between the owner and the thread (std::shared_ptr): a thread left
// behind at exit may still post after the owner is gone, and close() makes
// those posts do nothing.
class MainQueue {
public:
    MainQueue();
    ~MainQueue();
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    // The descriptor that becomes readable when calls are waiting; -1 when
    // no eventfd could be made (the owner then drains on a short timer).
    int fd() const { return fd_; }

    // Any thread. False once closed: the call is dropped.
    bool post(std::function<void()> call);

    // Main thread: clears the wake-up and runs every waiting call, one at a
    // time. A call that runs a nested event loop may drain again inside;
    // the order is kept because each call is taken under the lock.
    void drain();

    // Drops what is waiting and refuses later posts.
    void close();

    bool closed() const;

private:
    bool takeNext(std::function<void()>* call);

    mutable std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
    bool closed_ = false;
    int fd_ = -1;
};

// Runs the queue's calls from the event loop of owner's thread: a
// QSocketNotifier on fd(), or a 5 ms timer when there is no eventfd (logged).
// Both are children of owner.
void attachToEventLoop(const std::shared_ptr<MainQueue>& queue, QObject* owner);

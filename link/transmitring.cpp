#include "link/transmitring.h"

bool TransmitRing::push(char letter, const QByteArray& body) {
    QMutexLocker lock(&mutex_);
    if (pending_ >= kSlots)
        return false;
    slots_[static_cast<size_t>(write_)] = letter + body;
    write_ = (write_ + 1) % kSlots;
    ++pending_;
    return true;
}

bool TransmitRing::push(char letter, const QByteArray& body, std::atomic<bool>& finished) {
    QMutexLocker lock(&mutex_);
    if (pending_ >= kSlots) return false;
    finished = false;
    slots_[static_cast<size_t>(write_)] = letter + body;
    write_ = (write_ + 1) % kSlots;
    ++pending_;
    return true;
}

bool TransmitRing::finishIfIdle(std::atomic<bool>& finished) {
    QMutexLocker lock(&mutex_);
    if (pending_ != 0) return false;
    finished = true;
    return true;
}

bool TransmitRing::front(char* letter, QByteArray* body) const {
    QMutexLocker lock(&mutex_);
    if (pending_ == 0)
        return false;
    const QByteArray& slot = slots_[static_cast<size_t>(read_)];
    if (slot.isEmpty())
        return false;
    *letter = slot[0];
    *body = slot.mid(1);
    return true;
}

void TransmitRing::pop() {
    QMutexLocker lock(&mutex_);
    if (pending_ == 0)
        return;
    slots_[static_cast<size_t>(read_)].clear();
    read_ = (read_ + 1) % kSlots;
    --pending_;
}

bool TransmitRing::empty() const {
    QMutexLocker lock(&mutex_);
    return pending_ == 0;
}

int TransmitRing::pending() const {
    QMutexLocker lock(&mutex_);
    return pending_;
}

void TransmitRing::reset() {
    QMutexLocker lock(&mutex_);
    for (auto& s : slots_)
        s.clear();
    write_ = read_ = pending_ = 0;
}

int TransmitRing::coda_scrivi() const {
    QMutexLocker lock(&mutex_);
    return write_;
}

int TransmitRing::coda_leggi() const {
    QMutexLocker lock(&mutex_);
    return read_;
}

#include "link/transmitring.h"

bool TransmitRing::push(ExchangePtr exchange) {
    QMutexLocker lock(&mutex_);
    if (pending_ >= kSlots || !exchange)
        return false;
    slots_[static_cast<size_t>(write_)] = std::move(exchange);
    write_ = (write_ + 1) % kSlots;
    ++pending_;
    return true;
}

ExchangePtr TransmitRing::front() const {
    QMutexLocker lock(&mutex_);
    if (pending_ == 0)
        return nullptr;
    return slots_[static_cast<size_t>(read_)];
}

void TransmitRing::pop() {
    QMutexLocker lock(&mutex_);
    if (pending_ == 0)
        return;
    slots_[static_cast<size_t>(read_)].reset();
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
        s.reset();
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

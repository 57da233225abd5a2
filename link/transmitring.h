#pragma once

#include <QMutex>
#include <array>

#include "link/exchange.h"

// coda_tx: the transmit ring of 20 slots, each holding one queued exchange.
// The main thread stores, the transmit thread takes; a mutex hands the slots
// over.
class TransmitRing {
public:
    static constexpr int kSlots = 20;

    // False when all 20 slots are pending: the request is refused rather than
    // overwriting one that has not been sent.
    bool push(ExchangePtr exchange);
    // The exchange at coda_leggi, or null.
    ExchangePtr front() const;
    // Empties slot coda_leggi and advances it.
    void pop();
    bool empty() const;
    int pending() const;
    void reset();
    int coda_scrivi() const;
    int coda_leggi() const;

private:
    mutable QMutex mutex_;
    std::array<ExchangePtr, kSlots> slots_;
    int write_ = 0;
    int read_ = 0;
    int pending_ = 0;
};

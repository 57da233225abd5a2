#pragma once

#include <QByteArray>
#include <QMutex>
#include <array>
#include <atomic>

// coda_tx: the transmit ring of 20 slots. Each slot holds the command letter
// followed by the request body. The main thread stores, the transmit thread
// takes; a mutex hands the slots over.
class TransmitRing {
public:
    static constexpr int kSlots = 20;

    // False when all 20 slots are pending: the request is refused rather than
    // overwriting one that has not been sent.
    bool push(char letter, const QByteArray& body);
    // push() that also clears `finished` (tx_finito) under the ring's lock, so
    // the transmit thread can never see the flag cleared without the request.
    bool push(char letter, const QByteArray& body, std::atomic<bool>& finished);
    // Sets `finished` when no request is pending, atomically with that check:
    // the end of a poll must not end the wait of a request queued meanwhile.
    bool finishIfIdle(std::atomic<bool>& finished);
    // The request at coda_leggi, if any.
    bool front(char* letter, QByteArray* body) const;
    // Empties slot coda_leggi and advances it.
    void pop();
    bool empty() const;
    int pending() const;
    void reset();
    int coda_scrivi() const;
    int coda_leggi() const;

private:
    mutable QMutex mutex_;
    std::array<QByteArray, kSlots> slots_;
    int write_ = 0;
    int read_ = 0;
    int pending_ = 0;
};

#pragma once

#include <QByteArray>
#include <QMutex>
#include <array>

// coda_tx: the transmit ring of 20 slots. Each slot holds the command letter
// followed by the request body. The main thread stores, the transmit thread
// takes; a mutex hands the slots over.
class TransmitRing {
public:
    static constexpr int kSlots = 20;

    // False when all 20 slots are pending: the request is refused rather than
    // overwriting one that has not been sent.
    bool push(char letter, const QByteArray& body);
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

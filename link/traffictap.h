#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>
#include <array>
#include <atomic>
#include <deque>

#include "link/framereader.h"
#include "link/trafficrecord.h"

// What the sender knows of an exchange when it ends: the lines and the
// outcome are joined to it on the main thread.
struct ExchangeEnd {
    quint64 seq = 0;
    qint64 wallMs = 0;  // wall clock of the first send, ms since the epoch
    char letter = 0;
    QByteArray frame;  // as written, CR LF included
    int sends = 0;
    qint64 lastSendMs = 0;  // steady clock
    qint64 endMs = 0;       // steady clock
    bool answered = false;  // the exchange ended answered (or finally refused)
    bool direct = false;
};

// Hands ExchangeEnds from the transmit thread (the one producer) to the main
// thread (the one consumer) without a lock: each side owns one index and
// publishes it with release. Full means the record is dropped and counted,
// never that the sender waits.
class TrafficRing {
public:
    static constexpr size_t kCapacity = 256;

    bool tryPush(ExchangeEnd&& e);
    bool tryPop(ExchangeEnd* e);

private:
    std::array<ExchangeEnd, kCapacity> slots_;
    alignas(64) std::atomic<size_t> head_{0};  // next to pop, written by the consumer
    alignas(64) std::atomic<size_t> tail_{0};  // next to push, written by the producer
};

// The traffic monitor's tap on the link: one TrafficRecord per exchange,
// published while somebody listens. With nobody listening the sender and the
// reader pay one relaxed atomic load each.
//
// The transmit thread numbers each exchange (beginExchange) before its first
// write and hands its end over through the ring; the reader reports each
// complete line on the main thread, tagged with the exchange on the line
// when it arrived. A line that arrives between two exchanges goes with the
// next one. drain() joins them and works out the outcome.
class TrafficTap : public QObject {
    Q_OBJECT
public:
    // Lines kept while their exchange has not ended; a reply storm cannot
    // grow them without bound.
    static constexpr int kMaxPendingLines = 512;
    static constexpr int kDrainIntervalMs = 100;

    explicit TrafficTap(QObject* parent = nullptr);

    // Any thread.
    bool enabled() const { return listeners_.load(std::memory_order_relaxed) > 0; }

    // Main thread: a listener comes and goes. The records signal runs while
    // at least one listens; the last one going drops what is pending.
    void listen();
    void unlisten();

    // Sender (the transmit thread, or the main thread for a direct send):
    // a new exchange goes on the line; returns its number.
    quint64 beginExchange();
    // A resend of an exchange started earlier puts it back on the line.
    void resumeExchange(quint64 seq) { current_.store(seq, std::memory_order_release); }
    // Transmit thread: the exchange ended. False when the ring was full.
    bool publish(ExchangeEnd&& end);
    // Main thread: the same for an exchange the main thread sent itself.
    void publishDirect(ExchangeEnd&& end);

    // Main thread: the frame of the exchange on the line went out now. The
    // reply time counts from here, not from when the sender asked for the
    // write, so a busy main thread does not pass for a slow instrument.
    void frameWritten();

    // Main thread: the reader finished a line.
    void lineRead(FrameReader::Outcome stage, const QByteArray& line);

    // Main thread: every record whose exchange has ended, oldest first.
    QList<TrafficRecord> drain();
    // Records the ring had no room for since the start.
    quint64 dropped() const { return dropped_.load(std::memory_order_relaxed); }

Q_SIGNALS:
    // Emitted from drain() by the tap's own timer while somebody listens.
    void records(const QList<TrafficRecord>& records);

private:
    struct PendingLine {
        quint64 seq;
        TrafficLine line;
    };
    TrafficRecord join(const ExchangeEnd& end);

    std::atomic<int> listeners_{0};
    std::atomic<quint64> nextSeq_{0};
    std::atomic<quint64> current_{0};
    std::atomic<quint64> dropped_{0};
    TrafficRing ring_;
    // Main thread only.
    std::deque<ExchangeEnd> direct_;
    std::deque<PendingLine> lines_;
    // Exchange number and steady time of the latest write of each exchange
    // not yet joined, oldest first.
    std::deque<std::pair<quint64, qint64>> writes_;
    QTimer timer_;
};

#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <vector>

#include "sim/frameassembler.h"

class FaultInjector;
class PtyPort;
class SimInstrument;
class TrafficLog;

// Serves the instruments on the pty: cuts frames out of the byte stream,
// checks them, lets the instrument at the frame's address answer, applies the
// requested faults and sends each reply when its time comes. Several
// instruments share the line as on an RS-485 bus: each hears every frame,
// only the one addressed answers. Replies leave in request order, one after
// the other, as on a half-duplex line.
class SimServer : public QObject {
    Q_OBJECT
public:
    // `baud` 0: answer at once; otherwise each reply waits for the time its
    // characters take at that rate (10 bits each) plus the response time.
    SimServer(SimInstrument& instrument, FaultInjector& faults, PtyPort& port, TrafficLog* traffic,
              int baud, QObject* parent = nullptr);
    // Several instruments on one line (none may be null, the first is the
    // one the control channel drives).
    SimServer(std::vector<SimInstrument*> instruments, FaultInjector& faults, PtyPort& port,
              TrafficLog* traffic, int baud, QObject* parent = nullptr);

    qint64 clockMs() const { return clock_.elapsed(); }
    qint64 requestsSeen() const { return sequence_; }
    // Brings the instrument's time up to now.
    void syncClock();
    // Forgets replies not yet sent and any half-received frame (the port went away).
    void dropPending();
    // Delay before a reply of `chars` characters from `instrument` leaves.
    qint64 replyDelayMs(qsizetype chars, const SimInstrument& instrument) const;

    FaultInjector& faults() { return faults_; }

private:
    void onBytes(const QByteArray& bytes);
    void handleFrame(const FrameAssembler::Frame& frame);
    void queueReply(const QList<QByteArray>& pieces, qint64 delayMs);
    void pump();

    struct Pending {
        qint64 due;
        QByteArray bytes;
    };

    // The instrument that answers an address, or null.
    SimInstrument* instrumentAt(int address) const;

    std::vector<SimInstrument*> instruments_;
    FaultInjector& faults_;
    PtyPort& port_;
    TrafficLog* traffic_;
    int baud_;
    FrameAssembler assembler_;
    QElapsedTimer clock_;
    QTimer timer_;
    std::deque<Pending> pending_;
    qint64 sequence_ = 0;
};

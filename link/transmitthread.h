#pragma once

#include <QByteArray>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "link/exchange.h"

struct LinkState;
class TransmitRing;
class MainQueue;
class TrafficTap;

// What the transmit thread needs done on the main thread. Every call arrives
// there through the owner's MainQueue, in the order the thread asked for it.
class TransmitHost {
public:
    virtual ~TransmitHost() = default;
    // Writes the exchange's frame when the port is open and porta_chiusa is
    // clear, and notes on it that the frame went out; a write error is
    // logged as "Errore: Fallita la comunicazione".
    virtual void writeFrame(const ExchangePtr& exchange) = 0;
    virtual void setStatusText(const QString& text) = 0;
    virtual void setBusyCursor(bool busy) = 0;
    virtual void setAddressText(const QString& text) = 0;
    virtual void stopRecover() = 0;
    virtual void startRecover() = 0;
    virtual void refreshPresentation() = 0;
    // An exchange ended: main-thread waits on it re-check.
    virtual void exchangeEnded() = 0;
    // The pass loop has returned; the thread object may be reaped.
    virtual void transmitThreadEnded() = 0;
};

// TThgestioneseriale ("Thread_TX"): sends queued requests and, when the ring
// is empty and the link is online, the poll cycle C, P, I, P, E, P (X for P
// in Peak view). One pass at least every 50 ms.
class TThgestioneseriale : public QThread {
    Q_OBJECT
public:
    static constexpr int kPassGapMs = 50;
    static constexpr int kReplyWaitMs = Exchange::kReplyWaitMs;
    static constexpr int kWriteExtraMs = Exchange::kWriteExtraMs;
    static constexpr int kRetryPauseMs = 300;

    TThgestioneseriale(LinkState& state, TransmitRing& ring, std::shared_ptr<MainQueue> queue,
                       TransmitHost* host);

    // Set as the very last thing run() does, under a std::mutex, so whoever
    // sees it (and then deletes the object) is ordered after every access
    // the pass loop made.
    bool ended() const;
    // Exchanges are recorded there while the tap has a listener. Set before
    // start(); shared so that a thread left behind at exit never reaches a
    // freed tap.
    void setTrafficTap(std::shared_ptr<TrafficTap> tap) { tap_ = std::move(tap); }
    bool waitEnded(int timeoutMs);

protected:
    void run() override;

private:
    void inviacomandi();
    // The next poll of the cycle; the poll being retried keeps its step.
    ExchangePtr buildPoll();
    // The end of an exchange: its outcome decided, the ring advanced, the
    // visible flags set from the outcome, and its waiter woken.
    void finish(const ExchangePtr& exchange, bool fromRing);
    // The next poll after the link was offline or held is the status byte.
    void restartCycle();
    // Drops a poll being retried that something else replaced.
    void dropCurrent();
    template <class F>
    void onMain(F&& f);
    // The exchange record: a send (the first one opens it) and the end.
    void recordSend(const Exchange& exchange);
    void recordEnd(bool answered);

    LinkState& state_;
    TransmitRing& ring_;
    std::shared_ptr<MainQueue> queue_;
    TransmitHost* host_;
    mutable std::mutex endMutex_;
    std::condition_variable endCv_;
    bool ended_ = false;
    // Owned by this thread alone.
    int tentativi_ = 3;
    char ultima_lettera_ = 0;
    int passo_poll_ = 0;
    // The exchange being sent or retried.
    ExchangePtr current_;
    std::shared_ptr<TrafficTap> tap_;
    // The exchange being recorded, if any: owned by this thread alone.
    bool recording_ = false;
    quint64 recordSeq_ = 0;
    char recordLetter_ = 0;
    QByteArray recordFrame_;
    int recordSends_ = 0;
    qint64 recordWallMs_ = 0;
    qint64 recordLastSendMs_ = 0;
};

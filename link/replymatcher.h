#pragma once

#include <QByteArray>
#include <QHash>
#include <deque>

// Modbus ASCII replies carry no sequence number, so a reply that comes after
// its request was sent again (the instrument was slower than the timeout) is
// indistinguishable by its bytes from the answer to the next request of the
// same shape. The matcher keeps the requests whose replies may still be on
// their way, in order (the instrument answers in order), and says whether a
// valid frame answers the exchange in progress or an earlier send.
//
// An exchange is one request and its resends: a send of the same request
// while it is unanswered continues it; anything else starts a new one. Once
// an exchange has its answer, a reply that repeats that answer byte for byte
// while a resend of it is still counted as on its way is that resend's late
// reply, not the answer to what was sent next. Everything else goes to the
// dispatcher as before.
//
// Main thread only: every write and every reply passes through it there.
class ReplyMatcher {
public:
    // A reply later than this is no longer expected: the send counts as
    // lost (the longest wait of any exchange is 3.5 s).
    static constexpr qint64 kHorizonMs = 5000;
    // Bounds the memory of sends; the oldest go first.
    static constexpr int kMaxPending = 64;

    enum class Verdict { Current, Stale };

    // A request was written: its binary frame (address, function, data,
    // LRC).
    void sent(const QByteArray& request, qint64 nowMs);
    // A valid frame (or exception reply) arrived, LRC included.
    Verdict received(const QByteArray& frame, qint64 nowMs);
    // A line arrived that could not be read (checksum, length, address): it
    // was still somebody's reply, so the oldest send is answered.
    void damaged(qint64 nowMs);
    // The frame that received() last called Current was a damaged line after
    // all (the dispatcher found its byte count is not what was asked for):
    // its send stays answered and its exchange unanswered, as if damaged()
    // had met it, so the resend continues the exchange. Nothing when that
    // call took no send.
    void withdraw();
    // The port closed or opened: nothing more comes for what was sent.
    void reset();

    // The same on the steady clock.
    void sent(const QByteArray& request) { sent(request, nowMs()); }
    Verdict received(const QByteArray& frame) { return received(frame, nowMs()); }
    void damaged() { damaged(nowMs()); }
    static qint64 nowMs();

    int pending() const { return static_cast<int>(pending_.size()); }

    // Could this frame be the instrument's answer to that request? Checks
    // address, function (an exception reply to the same function counts)
    // and the length or echo the function dictates.
    static bool couldAnswer(const QByteArray& request, const QByteArray& frame);

private:
    struct Sent {
        QByteArray request;
        qint64 atMs;
        quint64 exchange;
    };
    void expire(qint64 nowMs);
    void forgetAnswersNoLongerPending();

    std::deque<Sent> pending_;
    quint64 exchange_ = 0;
    QByteArray currentRequest_;
    bool currentAnswered_ = true;
    // The reply each exchange took, kept while sends of it are pending.
    QHash<quint64, QByteArray> answers_;
    // The exchange whose answer the last received() recorded, 0 for none.
    quint64 lastTaken_ = 0;
};

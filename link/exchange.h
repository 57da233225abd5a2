#pragma once

#include <QByteArray>
#include <memory>
#include <mutex>

#include "link/expectedreply.h"
#include "link/outcome.h"

// The kinds of exchange the link runs. The letter is the kind's name in the
// event log, the status bar and the traffic monitor.
enum class ExchangeKind : char {
    Coils = 'C',     // poll: read coils
    Inputs = 'I',    // poll: read discrete inputs
    Status = 'E',    // poll: read exception status (the signs)
    Poll = 'P',      // poll: the data section
    Peak = 'X',      // poll: the peak register (Peak view)
    Read = 'Y',      // a parameter read
    Write = 'W',     // a write or a command
    Identify = 'V',  // the identification of the connect procedure
    Probe = 'S',     // one address of the search
};

// One request and everything that becomes of it: the value the ring carries,
// the transmit thread (or the direct path, or the search) sends, and the
// frame reader answers.
//
// Life: queued → sent (a send per try) → decided once (by the reader when an
// accepted reply or a final refusal arrives, else by the sender when the tries
// run out) → ended (the sender has done its bookkeeping; a builder waiting on
// it may go on). Every member is safe from any thread.
class Exchange {
public:
    // Reply wait of one send on the transmit thread; a write waits longer
    // (the instrument may store to its memory first).
    static constexpr int kReplyWaitMs = 500;
    static constexpr int kWriteExtraMs = 3000;
    // Reply wait of one send on the direct path.
    static constexpr int kDirectWaitMs = 1500;

    Exchange(ExchangeKind kind, QByteArray body);
    static std::shared_ptr<Exchange> make(ExchangeKind kind, QByteArray body) {
        return std::make_shared<Exchange>(kind, std::move(body));
    }

    ExchangeKind kind() const { return kind_; }
    char letter() const { return static_cast<char>(kind_); }
    // Address, function and data; the wire frame adds the LRC.
    const QByteArray& body() const { return body_; }
    const QByteArray& frame() const { return frame_; }
    const ExpectedReply& expected() const { return expected_; }
    // One of the poll cycle's kinds: its failure takes the link offline.
    bool isPoll() const;
    // The wait for one send's reply on the transmit thread.
    int replyWaitMs() const;
    // Sends on the transmit thread before it is given up: 4 for reads and
    // writes, 2 for every other kind.
    int sendBudget() const;

    // ---- the sender ----
    // A send begins: the previous send's damaged verdict is forgotten.
    void beginSend();
    // The frame reached the port (main thread, at the write).
    void noteWritten();
    // The send is over before its wait: answered, finally refused, or a
    // damaged reply that calls for the next try at once.
    bool sendSettled() const;
    // Decides a failure when nothing decided it yet: refused with the last
    // exception code, damaged when damaged replies arrived, not sent when no
    // frame ever reached the port, else unanswered. Returns the outcome.
    Outcome fail();
    // Never sent: decided NotSent for that reason and ended at once.
    void cancel(Outcome::Reason why);
    // The sender has finished with it.
    void end();
    bool ended() const;

    // ---- the reader ----
    // An accepted reply: decides Answered (once) and keeps the reply frame.
    // False when the exchange was decided already.
    bool answer(const QByteArray& reply);
    // An exception reply: code 3 (a refused value) is final; any other code
    // is noted and the send waits on.
    bool refuse(int code);
    // A line that was not this exchange's answer. retryNow: it passed the
    // checksum or failed it, so waiting for the timeout is no use.
    void damaged(bool retryNow);

    // ---- results ----
    bool decided() const;
    Outcome outcome() const;
    QByteArray reply() const;
    // The data bytes of a read reply (after the byte count, before the LRC).
    QByteArray data() const;
    int exceptionCode() const;
    int damagedLines() const;
    int sends() const;
    int written() const;

private:
    bool decide(const Outcome& outcome);

    const ExchangeKind kind_;
    const QByteArray body_;
    const QByteArray frame_;
    const ExpectedReply expected_;

    mutable std::mutex mutex_;
    bool decided_ = false;
    bool ended_ = false;
    bool retryNow_ = false;
    Outcome outcome_;
    QByteArray reply_;
    int exceptionCode_ = 0;
    int damagedLines_ = 0;
    int sends_ = 0;
    int written_ = 0;
};

using ExchangePtr = std::shared_ptr<Exchange>;

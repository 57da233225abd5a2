#pragma once

#include <QByteArray>
#include <QString>

#include "link/exchange.h"

struct LinkState;
class ReplyMatcher;
class TrafficTap;

// Receives what the reader accepted. Runs on the main thread inside the
// packet event; any std::exception it throws is logged as "Modbus: ..." and
// the exchange counts as unanswered.
//
// `exchange` is the exchange on the line when the line was read, null when
// none is. The reader, not the handler, decides the exchange's outcome.
class FrameHandler {
public:
    virtual ~FrameHandler() = default;
    // A decoded frame of 4 bytes (address, function | 0x80, code, LRC) whose
    // function byte is above 0x38 and whose LRC passed.
    virtual void onExceptionReply(const QByteArray& frame, const Exchange* exchange) = 0;
    // Why a frame that passed every check of the reader cannot be the answer
    // to the exchange in progress (its byte count is not what was asked
    // for); empty when it can. Asked before onFrame, which a refused frame
    // never reaches: it is a damaged line.
    virtual QString refuses(const QByteArray& frame, const Exchange* exchange) {
        Q_UNUSED(frame);
        Q_UNUSED(exchange);
        return {};
    }
    // A decoded frame that passed address, length, LRC and byte-count
    // checks: for the read functions 0x01-0x04 the byte count (third byte)
    // plus 4 is its size. True when it answers the exchange.
    virtual bool onFrame(const QByteArray& frame, const Exchange* exchange) = 0;
};

// First stage of reply handling: accumulates packet text in buffer_rx until a
// frame end is seen, then checks address, length, LRC and byte count in that
// order, each with its own log line, and hands a valid frame on. No byte of a
// frame is acted on before its LRC passed, an exception reply's included.
// Once a line is complete the accumulator is empty again, whatever became of
// the line: decoded bytes never stay where the next packet's text goes.
//
// Every complete line that is not handed on is a damaged line: it counts
// once on the exchange on the line and once to the matcher (as the reply to
// the oldest send). A valid frame the handler takes answers that exchange;
// an exchange already decided is never decided again.
class FrameReader {
public:
    enum class Outcome {
        Ignored,          // packet shorter than 5 characters
        Incomplete,       // no LF yet; characters kept for the next packet
        WrongAddress,     // "CH RX Error:"
        Short,            // "SHORT RX Error:"
        Exception,        // exception reply handed to the handler
        Truncated,        // "TRUNC RX Error:"
        Checksum,         // "CHKSUM RX Error:"
        WrongCount,       // "Modbus: byte count ...": not what the frame holds or was asked
        Dispatched,       // valid frame handed to the handler
        Late,             // "Modbus: late reply dropped:" (a resend's reply)
        ConversionError,  // "Modbus: " + message
    };

    // Characters kept while waiting for a line end; a valid frame is far shorter.
    static constexpr int kMaxPending = 1024;

    FrameReader(LinkState& state, FrameHandler* handler);

    Outcome elabora(const QByteArray& packet);

    const QByteArray& buffer_rx() const { return buffer_rx_; }
    void clearBuffer() { buffer_rx_.clear(); }
    void setHandler(FrameHandler* handler) { handler_ = handler; }
    // Valid frames and damaged lines are reported to it; a frame it calls
    // stale never reaches the handler.
    void setMatcher(ReplyMatcher* matcher) { matcher_ = matcher; }
    // Every complete line and the reader's verdict on it go to the traffic
    // monitor's tap while somebody listens there.
    void setTap(TrafficTap* tap) { tap_ = tap; }

private:
    Outcome read(const QByteArray& packet);
    Outcome process(const QByteArray& packet);
    // Asks the matcher; a late reply is logged and dropped.
    bool isLate(const QByteArray& frame);
    // A complete line that could not be read; retryNow when the sender
    // should not wait out its timeout.
    void lineDamaged(bool retryNow = false);
    // A damaged line detected once the LRC passed: no use waiting for the
    // timeout, the sender retries at once.
    Outcome wrongCount(const QString& why, const QByteArray& frame);

    LinkState& state_;
    FrameHandler* handler_;
    ReplyMatcher* matcher_ = nullptr;
    TrafficTap* tap_ = nullptr;
    QByteArray buffer_rx_;
    // The complete line being handled, kept only while the tap listens.
    QByteArray line_;
    // The matcher took the line being handled as the answer to the exchange
    // in progress.
    bool taken_ = false;
    // The exchange on the line while a line is handled.
    ExchangePtr exchange_;
};

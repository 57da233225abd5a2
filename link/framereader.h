#pragma once

#include <QByteArray>

struct LinkState;
class ReplyMatcher;

// Receives what the reader accepted. Runs on the main thread inside the
// packet event; any std::exception it throws is logged as "Modbus: ..." and
// the exchange counts as unanswered.
class FrameHandler {
public:
    virtual ~FrameHandler() = default;
    // A decoded frame of fewer than 5 bytes whose function byte is above 0x38.
    virtual void onExceptionReply(const QByteArray& frame) = 0;
    // A decoded frame that passed address, length and LRC checks.
    virtual void onFrame(const QByteArray& frame) = 0;
};

// First stage of reply handling: accumulates packet text in buffer_rx until a
// frame end is seen, then checks address, length and LRC in that order, each
// with its own log line, and hands a valid frame on.
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

private:
    Outcome process(const QByteArray& packet);
    // Asks the matcher; a late reply is logged and dropped.
    bool isLate(const QByteArray& frame);
    // A complete line that could not be read.
    void lineDamaged();

    LinkState& state_;
    FrameHandler* handler_;
    ReplyMatcher* matcher_ = nullptr;
    QByteArray buffer_rx_;
};

#include "link/framereader.h"

#include <QString>
#include <exception>

#include "base/eventlog.h"
#include "link/codec.h"
#include "link/linkstate.h"
#include "link/replymatcher.h"
#include "link/traffictap.h"

namespace {
void logLine(const char* prefix, const QByteArray& hex) {
    EventLog::log(QString::fromLatin1(prefix) + QString::fromLatin1(hex));
}
}  // namespace

FrameReader::FrameReader(LinkState& state, FrameHandler* handler)
    : state_(state), handler_(handler) {}

FrameReader::Outcome FrameReader::elabora(const QByteArray& packet) {
    const bool tapped = tap_ && tap_->enabled();
    line_.clear();
    const Outcome outcome = read(packet);
    if (tapped && !line_.isEmpty())
        tap_->lineRead(outcome, line_);
    return outcome;
}

FrameReader::Outcome FrameReader::read(const QByteArray& packet) {
    taken_ = false;
    exchange_ = state_.inFlight();
    Outcome outcome = Outcome::Ignored;
    try {
        outcome = process(packet);
    } catch (const std::exception& e) {
        EventLog::log(QStringLiteral("Modbus: ") + QString::fromLocal8Bit(e.what()));
        // Characters that failed to convert are no use to a later packet.
        buffer_rx_.clear();
        if (taken_) {
            // The matcher took the frame as the answer to the exchange in
            // progress, and it stays so: the resend's reply repeats these
            // bytes and is then dropped as late instead of being taken for
            // the next request's answer. Only the exchange counts it damaged.
            if (exchange_)
                exchange_->damaged(false);
        } else {
            lineDamaged();
        }
        outcome = Outcome::ConversionError;
    }
    exchange_.reset();
    // A sender waiting on the exchange re-checks it.
    state_.notify();
    return outcome;
}

void FrameReader::lineDamaged(bool retryNow) {
    if (exchange_)
        exchange_->damaged(retryNow);
    // Somebody's reply all the same: it answers the oldest send.
    if (matcher_)
        matcher_->damaged();
}

FrameReader::Outcome FrameReader::wrongCount(const QString& why, const QByteArray& frame) {
    EventLog::log(QStringLiteral("Modbus: ") + why + QLatin1Char(':') +
                  QString::fromLatin1(codec::bin2hex(frame)));
    return Outcome::WrongCount;
}

bool FrameReader::isLate(const QByteArray& frame) {
    if (!matcher_ || matcher_->received(frame) != ReplyMatcher::Verdict::Stale)
        return false;
    // The exchange waiting now is not answered by it: its wait goes on.
    logLine("Modbus: late reply dropped:", codec::bin2hex(frame));
    return true;
}

FrameReader::Outcome FrameReader::process(const QByteArray& packet) {
    if (packet.size() < 5)
        return Outcome::Ignored;

    bool lfSeen = false;
    for (char c : packet) {
        buffer_rx_.append(c);
        if (c == '\n')
            lfSeen = true;
        if (c == ':')
            buffer_rx_.clear();
    }
    if (!lfSeen) {
        // No frame is this long: characters that never reach a line end are
        // noise, and must not pile up.
        if (buffer_rx_.size() > kMaxPending)
            buffer_rx_.clear();
        return Outcome::Incomplete;
    }

    // The line is complete: the accumulator starts afresh whatever becomes of
    // it, so its decoded bytes are never taken for the next packet's text.
    const QByteArray line = buffer_rx_;
    buffer_rx_.clear();
    if (tap_ && tap_->enabled()) {
        line_ = ':' + line;
        while (line_.endsWith('\n') || line_.endsWith('\r'))
            line_.chop(1);
    }

    if (line.size() < 2)
        throw codec::ConversionError("reply too short for an address");
    const QByteArray addressBytes = codec::hex2bin(line.left(2));
    const int address = static_cast<quint8>(addressBytes[0]);
    // A probe takes a reply from any address: the reply's own address is
    // the search's result.
    const bool probing = exchange_ && exchange_->kind() == ExchangeKind::Probe;
    if (address != state_.indirizzo.load() && !probing) {
        logLine("CH RX Error:", codec::bin2hex(line));
        lineDamaged();
        return Outcome::WrongAddress;
    }

    const QByteArray frame = codec::hex2bin(line.left(line.size() - 2));

    if (frame.size() < 4) {
        logLine("SHORT RX Error:", codec::bin2hex(frame));
        lineDamaged();
        return Outcome::Short;
    }

    const auto function = static_cast<quint8>(frame[1]);
    const int count = static_cast<quint8>(frame[2]);
    // Address, function | 0x80, exception code, LRC.
    const bool exception = frame.size() < 5 && function > 0x38;

    if (!exception && function != 0x06 && function != 0x07 && function != 0x10 &&
        frame.size() < count + 3) {
        logLine("TRUNC RX Error:", codec::bin2hex(frame));
        lineDamaged();
        return Outcome::Truncated;
    }

    // Before any byte is taken for what it says: a damaged line must never
    // pass as an exception code (a refused value would stop the retry) or as
    // data.
    if (!codec::verifica_lrc(frame)) {
        logLine("CHKSUM RX Error:", codec::bin2hex(frame));
        // The exchange is unanswered and the sender retries now; these bytes
        // are never taken as reply data.
        lineDamaged(true);
        return Outcome::Checksum;
    }

    if (exception) {
        if (isLate(frame))
            return Outcome::Late;
        taken_ = true;
        if (handler_)
            handler_->onExceptionReply(frame, exchange_.get());
        if (exchange_ && exchange_->expected().mismatch(frame).isEmpty())
            exchange_->refuse(count);
        return Outcome::Exception;
    }

    // A read reply is address, function, byte count, that many data bytes
    // and the LRC: any other size is a damaged line, and a handler must be
    // able to trust the count.
    if (function >= 0x01 && function <= 0x04 && frame.size() != count + 4) {
        lineDamaged(true);
        return wrongCount(QStringLiteral("byte count not matching the frame"), frame);
    }

    if (isLate(frame))
        return Outcome::Late;
    if (handler_) {
        const QString why = handler_->refuses(frame, exchange_.get());
        if (!why.isEmpty()) {
            // The matcher took it as the answer; it was a damaged line
            // instead, so its exchange stays unanswered as after damaged().
            if (matcher_)
                matcher_->withdraw();
            if (exchange_)
                exchange_->damaged(true);
            return wrongCount(why, frame);
        }
    }
    taken_ = true;
    if (handler_ && handler_->onFrame(frame, exchange_.get()) && exchange_)
        exchange_->answer(frame);
    return Outcome::Dispatched;
}

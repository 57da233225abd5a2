#include "link/framereader.h"

#include <QString>
#include <exception>

#include "base/eventlog.h"
#include "link/codec.h"
#include "link/linkstate.h"
#include "link/replymatcher.h"

namespace {
void logLine(const char* prefix, const QByteArray& hex) {
    EventLog::log(QString::fromLatin1(prefix) + QString::fromLatin1(hex));
}
}  // namespace

FrameReader::FrameReader(LinkState& state, FrameHandler* handler)
    : state_(state), handler_(handler) {}

FrameReader::Outcome FrameReader::elabora(const QByteArray& packet) {
    try {
        return process(packet);
    } catch (const std::exception& e) {
        EventLog::log(QStringLiteral("Modbus: ") + QString::fromLocal8Bit(e.what()));
        state_.risposta_ok = 0;
        // Characters that failed to convert are no use to a later packet.
        buffer_rx_.clear();
        lineDamaged();
        return Outcome::ConversionError;
    }
}

void FrameReader::lineDamaged() {
    ++state_.damagedLines;
    // Somebody's reply all the same: it answers the oldest send.
    if (matcher_)
        matcher_->damaged();
}

bool FrameReader::isLate(const QByteArray& frame) {
    if (!matcher_ || matcher_->received(frame) != ReplyMatcher::Verdict::Stale)
        return false;
    // The exchange waiting now is not answered by it: its wait goes on.
    logLine("Modbus: late reply dropped:", codec::bin2hex(frame));
    buffer_rx_.clear();
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
        state_.risposta_ok = 0;
        return Outcome::Incomplete;
    }

    if (buffer_rx_.size() < 2)
        throw codec::ConversionError("reply too short for an address");
    const QByteArray addressBytes = codec::hex2bin(buffer_rx_.left(2));
    const int address = static_cast<quint8>(addressBytes[0]);
    if (address != state_.indirizzo.load() && state_.tipocomando.load() != 'S') {
        logLine("CH RX Error:", codec::bin2hex(buffer_rx_));
        buffer_rx_.clear();
        lineDamaged();
        return Outcome::WrongAddress;
    }

    buffer_rx_ = codec::hex2bin(buffer_rx_.left(buffer_rx_.size() - 2));
    const QByteArray& frame = buffer_rx_;

    if (frame.size() < 4) {
        logLine("SHORT RX Error:", codec::bin2hex(frame));
        lineDamaged();
        return Outcome::Short;
    }

    const auto function = static_cast<quint8>(frame[1]);
    if (frame.size() < 5 && function > 0x38) {
        if (isLate(frame))
            return Outcome::Late;
        const QByteArray copy = frame;
        if (handler_)
            handler_->onExceptionReply(copy);
        return Outcome::Exception;
    }

    if (function != 0x06 && function != 0x07 && function != 0x10 &&
        frame.size() < static_cast<quint8>(frame[2]) + 3) {
        logLine("TRUNC RX Error:", codec::bin2hex(frame));
        lineDamaged();
        return Outcome::Truncated;
    }

    if (!codec::verifica_lrc(frame)) {
        logLine("CHKSUM RX Error:", codec::bin2hex(frame));
        buffer_rx_.clear();
        // The exchange is unanswered and the sender retries now; these bytes
        // are never taken as reply data.
        state_.setRisposta(LinkState::kDamagedReply);
        lineDamaged();
        return Outcome::Checksum;
    }

    if (isLate(frame))
        return Outcome::Late;
    const QByteArray copy = frame;
    if (handler_)
        handler_->onFrame(copy);
    return Outcome::Dispatched;
}

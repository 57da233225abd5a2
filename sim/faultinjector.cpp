#include "sim/faultinjector.h"

#include "base/bigendian.h"

#include "link/codec.h"
#include "link/protocol.h"

namespace {
bool hits(int every, qint64 n) {
    return every > 0 && n % every == 0;
}
quint16 wordAt(const QByteArray& body, int i) {
    return be::u16At(body, i);
}
}  // namespace

FaultInjector::FaultInjector(FaultOptions options, quint32 seed) : options_(options), rng_(seed) {}

bool FaultInjector::silences() {
    ++frames_;
    return options_.silent || (options_.silentAfter >= 0 && frames_ > options_.silentAfter);
}

bool FaultInjector::refuses(const QByteArray& body) const {
    if (options_.exception3Register < 0 || body.size() < 6)
        return false;
    const int function = static_cast<quint8>(body[1]);
    const int reg = wordAt(body, 2);
    int count = 0;
    switch (function) {
        case proto::kReadHolding:
        case proto::kReadInputRegisters:
        case proto::kWriteMultiple:
            count = wordAt(body, 4);
            break;
        case proto::kWriteRegister:
            count = 1;
            break;
        default:
            return false;
    }
    return options_.exception3Register >= reg && options_.exception3Register < reg + count;
}

FaultInjector::Delivery FaultInjector::deliver(const QByteArray& replyBody) {
    ++replies_;
    Delivery d;
    QByteArray body = replyBody;
    if (hits(options_.wrongAddressEvery, replies_) && !body.isEmpty()) {
        // A neighbour answering: a proper frame, just not from our address.
        body[0] = static_cast<char>(static_cast<quint8>(body[0]) % 127 + 1);
        d.faults << QStringLiteral("wrong-address");
    }
    QByteArray frame = codec::componi_frame(body);
    if (hits(options_.corruptLrcEvery, replies_)) {
        QByteArray withBadLrc = body;
        withBadLrc.append(static_cast<char>(codec::calcola_lrc(body) + 1));
        frame = ':' + codec::bin2hex(withBadLrc) + "\r\n";
        d.faults << QStringLiteral("corrupt-lrc");
    }
    if (hits(options_.garbageEvery, replies_)) {
        // Line noise before the frame: never a colon, CR or LF.
        static const char kNoise[] = {'\x00', '\x11', '?', '#', '~', '!', '\x7F', '*', '\xFF', 'Z'};
        std::uniform_int_distribution<int> len(1, 6);
        std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof(kNoise)) - 1);
        QByteArray noise;
        for (int n = len(rng_); n > 0; --n)
            noise.append(kNoise[pick(rng_)]);
        frame.prepend(noise);
        d.faults << QStringLiteral("garbage");
    }
    if (options_.splitReplies && frame.size() >= 3) {
        // Two or three pieces, cut anywhere, none empty.
        const int pieces = std::uniform_int_distribution<int>(2, 3)(rng_);
        qsizetype start = 0;
        for (int p = pieces; p > 1; --p) {
            const qsizetype room = frame.size() - start - (p - 1);
            const qsizetype len =
                std::uniform_int_distribution<qsizetype>(1, std::max<qsizetype>(1, room / 2))(rng_);
            d.pieces << frame.mid(start, len);
            start += len;
        }
        d.pieces << frame.mid(start);
        d.faults << QStringLiteral("split");
    } else {
        d.pieces << frame;
    }
    return d;
}

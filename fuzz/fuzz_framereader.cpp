// The frame reader on arbitrary packets. Input: one control byte (bit 7 set:
// a search is in progress, so any address is accepted; the low bits give the
// link's address 1-127), then packets separated by NUL bytes, fed in order
// to one reader so frames split over packets and leftovers are exercised. A
// packet that starts with '>' is a request the link sent (its bytes after the
// '>'), so the reply matcher behind the reader sees sends and replies mixed.
#include <cstddef>
#include <cstdint>

#include "fuzzhome.h"
#include "link/codec.h"
#include "link/framereader.h"
#include "link/linkstate.h"
#include "link/replymatcher.h"

namespace {

// Touches every byte handed over, as the dispatcher would, and checks what
// the reader promises about it.
class CheckingHandler : public FrameHandler {
public:
    const LinkState* state = nullptr;
    unsigned sink = 0;

    void onExceptionReply(const QByteArray& frame) override {
        FUZZ_CHECK(frame.size() >= 4 && frame.size() < 5);
        FUZZ_CHECK(static_cast<quint8>(frame[1]) > 0x38);
        consume(frame);
    }
    void onFrame(const QByteArray& frame) override {
        FUZZ_CHECK(frame.size() >= 4);
        FUZZ_CHECK(codec::verifica_lrc(frame));
        if (state->tipocomando.load() != 'S')
            FUZZ_CHECK(static_cast<quint8>(frame[0]) == state->indirizzo.load());
        const auto function = static_cast<quint8>(frame[1]);
        if (function != 0x06 && function != 0x07 && function != 0x10)
            FUZZ_CHECK(frame.size() >= static_cast<quint8>(frame[2]) + 3);
        consume(frame);
        // What the request side would build from the same bytes must
        // decode back to them.
        const QByteArray wire = codec::componi_frame(frame.left(frame.size() - 1));
        FUZZ_CHECK(codec::hex2bin(wire.mid(1, wire.size() - 3)) == frame);
    }

private:
    void consume(const QByteArray& frame) {
        for (char c : frame)
            sink += static_cast<quint8>(c);
        sink += codec::calcola_lrc(frame);
        sink += static_cast<unsigned>(codec::bin2hex(frame).size() + codec::hex_dump(frame).size());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzHome home(false);
    if (size == 0)
        return 0;
    LinkState state;
    state.indirizzo = 1 + (data[0] & 0x7F) % 127;
    state.tipocomando = (data[0] & 0x80) ? 'S' : 'P';
    CheckingHandler handler;
    handler.state = &state;
    FrameReader reader(state, &handler);
    ReplyMatcher matcher;
    reader.setMatcher(&matcher);

    const QByteArray rest(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));
    for (const QByteArray& packet : rest.split('\0')) {
        if (packet.startsWith('>')) {
            matcher.sent(packet.mid(1));
            FUZZ_CHECK(matcher.pending() <= ReplyMatcher::kMaxPending);
            continue;
        }
        const auto outcome = reader.elabora(packet);
        if (outcome == FrameReader::Outcome::Ignored)
            FUZZ_CHECK(packet.size() < 5);
        // The accumulator never holds the colon that started the frame.
        if (outcome == FrameReader::Outcome::Incomplete)
            FUZZ_CHECK(!reader.buffer_rx().contains(':'));
    }
    return 0;
}

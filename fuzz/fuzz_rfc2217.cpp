// The receive side of an RFC 2217 port: arbitrary bytes from a server,
// telnet commands and subnegotiations interleaved with data, fed to the
// codec in chunks whose sizes the input chooses.
//
// Input: the first byte picks the chunk size (1-16) and whether the codec
// has offered the option and queued its set-up (bit 4) before the bytes
// come; the rest is what the server sent. Checked besides memory safety:
//   - input with no 0xFF in it is all data, returned unchanged;
//   - whatever arrives, the data the client sends back out, escaped, is
//     read as the same data by a fresh codec (0xFF survives both ways).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/rfc2217.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const unsigned control = data[0];
    const qsizetype chunk = static_cast<qsizetype>(control % 16) + 1;
    const QByteArray in(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    Rfc2217Codec codec;
    if (control & 0x10) {
        codec.start();
        codec.configure(static_cast<qint32>(9600 + control));
    }
    QByteArray received;
    for (qsizetype at = 0; at < in.size(); at += chunk) {
        const QByteArray part = in.mid(at, chunk);
        received += codec.receive(part);
        codec.takeOutput();
        (void)codec.setupAcknowledged();
        (void)codec.unacknowledged();
    }
    if (!in.contains('\xFF') && received != in)
        std::abort();

    // What came in goes back out as data; a fresh codec reads it unchanged.
    codec.sendData(received);
    const QByteArray wire = codec.takeOutput();
    Rfc2217Codec peer;
    if (peer.receive(wire) != received)
        std::abort();
    return 0;
}

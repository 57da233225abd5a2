#include "link/codec.h"

namespace codec {

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";

int nibble(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
}  // namespace

quint8 calcola_lrc(const QByteArray& body) {
    quint8 sum = 0;
    for (char c : body)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    return static_cast<quint8>(-sum);
}

bool verifica_lrc(const QByteArray& frame) {
    if (frame.isEmpty())
        return false;
    return calcola_lrc(frame.left(frame.size() - 1)) == static_cast<quint8>(frame.back());
}

QByteArray bin2hex(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<quint8>(c);
        out.append(kDigits[b >> 4]);
        out.append(kDigits[b & 0x0F]);
    }
    return out;
}

QByteArray hex2bin(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const int hi = nibble(text[i]);
        const int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) {
            // Keep the message printable whatever bytes arrived.
            QByteArray pair = text.mid(i, 2);
            for (char& c : pair)
                if (static_cast<quint8>(c) < 0x20 || static_cast<quint8>(c) > 0x7E)
                    c = '?';
            throw ConversionError("'" + pair.toStdString() + "' is not a valid hexadecimal value");
        }
        out.append(static_cast<char>((hi << 4) | lo));
    }
    return out;
}

QByteArray hex_dump(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size() * 5);
    for (char c : bytes) {
        const auto b = static_cast<quint8>(c);
        out.append(" 0x");
        out.append(kDigits[b >> 4]);
        out.append(kDigits[b & 0x0F]);
    }
    return out;
}

QByteArray componi_frame(const QByteArray& body) {
    QByteArray withLrc = body;
    withLrc.append(static_cast<char>(calcola_lrc(body)));
    return ':' + bin2hex(withLrc) + "\r\n";
}

}  // namespace codec

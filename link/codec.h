#pragma once

#include <QByteArray>
#include <stdexcept>

// Modbus ASCII frame codec: pure value code, no I/O.
//
// A body is address, function and data bytes (no check byte); the wire frame
// is ":" + hex(body + LRC) + CR LF with upper-case digits.
namespace codec {

// Raised by hex2bin for a pair that is not hexadecimal; its message is what
// the reader writes after "Modbus: ".
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

quint8 calcola_lrc(const QByteArray& body);
// True when the last byte equals the LRC of all bytes before it. An empty
// frame never passes.
bool verifica_lrc(const QByteArray& frame);
QByteArray bin2hex(const QByteArray& bytes);
// One byte per pair, either case; 0 or 1 characters give nothing and an odd
// last character is ignored. Throws ConversionError for a non-hex pair.
QByteArray hex2bin(const QByteArray& text);
// " 0x01 0x03" style dump used in reception error lines.
QByteArray hex_dump(const QByteArray& bytes);
QByteArray componi_frame(const QByteArray& body);

}  // namespace codec

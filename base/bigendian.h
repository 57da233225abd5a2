#pragma once

#include <QByteArray>

// Modbus sends every 16- and 32-bit field most significant byte first.
namespace be {

// The 16-bit field at byte i; the caller has checked that i + 1 is inside.
inline quint16 u16At(const QByteArray& bytes, int i) {
    return static_cast<quint16>((static_cast<quint8>(bytes[i]) << 8) |
                                static_cast<quint8>(bytes[i + 1]));
}

inline void appendU16(QByteArray& bytes, quint16 value) {
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFF));
}

inline void appendU32(QByteArray& bytes, quint32 value) {
    appendU16(bytes, static_cast<quint16>(value >> 16));
    appendU16(bytes, static_cast<quint16>(value & 0xFFFF));
}

}  // namespace be

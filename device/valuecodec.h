#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The value texts of the parameter table and the image bytes they come
// from, by the entry's type code (1 u8, 2 u16, 3 s16, 4 u32, 5 s32,
// 6 IEEE single), most significant byte first.

// The value text of an entry's bytes: integers in decimal, a single in
// general format with up to 15 significant digits ("1.5", "1.00000002004088E20",
// "NAN", "-INF"). `bytes` holds at least the type's size; type codes
// without bytes give nothing, and the entry keeps its text.
std::optional<QString> decodeValue(int type, QByteArrayView bytes);

// A double as a general-format text with up to 15 significant digits, the
// exponent written E-7 / E20 rather than e-07 / e+20.
QString generalText(double value);

// Image bytes for a value text of a given type code, most significant first.
// Types 1-5 take an integer in the type's range (type 5: any signed 32-bit),
// type 6 a real number that fits an IEEE single. Other type codes hold no
// bytes: the result is ok and empty, and nothing is to be sent.
struct EncodedValue {
    bool ok = false;
    QByteArray bytes;
    QString error;
};
EncodedValue encodeValue(int type, const QString& text);

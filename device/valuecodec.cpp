#include "device/valuecodec.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

#include "device/numberformat.h"

std::optional<QString> decodeValue(int type, QByteArrayView bytes) {
    auto byte = [&](int k) { return quint32(quint8(bytes[k])); };
    switch (type) {
        case 1:
            return QString::number(byte(0));
        case 2:
            return QString::number(byte(0) << 8 | byte(1));
        case 3:
            return QString::number(
                static_cast<qint16>(static_cast<quint16>(byte(0) << 8 | byte(1))));
        case 4:
        case 5:
        case 6: {
            const quint32 v = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
            if (type == 4)
                return QString::number(v);
            if (type == 5)
                return QString::number(static_cast<qint32>(v));
            return generalText(double(std::bit_cast<float>(v)));
        }
        default:
            return std::nullopt;
    }
}

QString generalText(double v) {
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    QString s = QString::number(v, 'g', 15);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e >= 0)
        s = s.left(e) + QLatin1Char('E') + QString::number(s.mid(e + 1).toInt());
    return s;
}

EncodedValue encodeValue(int type, const QString& text) {
    EncodedValue r;
    auto bigEndian = [&](quint32 v, int bytes) {
        for (int k = bytes - 1; k >= 0; --k)
            r.bytes.append(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    if (type == 6) {
        const auto v = parseReal(text);
        if (!v) {
            r.error = QStringLiteral("\"%1\" is not a number").arg(text);
            return r;
        }
        if (std::fabs(*v) > double(FLT_MAX)) {
            r.error = QStringLiteral("%1 does not fit a single-precision float").arg(text);
            return r;
        }
        bigEndian(std::bit_cast<quint32>(static_cast<float>(*v)), 4);
        r.ok = true;
        return r;
    }
    if (type < 1 || type > 5) {
        r.ok = true;  // no bytes, nothing to send
        return r;
    }
    const auto n = parseInteger(text);
    if (!n || *n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max()) {
        r.error = QStringLiteral("\"%1\" is not a 32-bit whole number").arg(text);
        return r;
    }
    struct Range {
        qint64 low, high;
        int bytes;
    };
    static const Range ranges[] = {
        {0, 255, 1},
        {0, 65535, 2},
        {-32768, 32767, 2},
        {0, 2147483647, 4},
        {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), 4},
    };
    const Range& range = ranges[type - 1];
    if (*n < range.low || *n > range.high) {
        r.error = QStringLiteral("%1 is outside %2..%3").arg(*n).arg(range.low).arg(range.high);
        return r;
    }
    bigEndian(static_cast<quint32>(static_cast<qint32>(*n)), range.bytes);
    r.ok = true;
    return r;
}

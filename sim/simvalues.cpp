#include "sim/simvalues.h"

#include "link/protocol.h"

namespace simvalue {

int registerCount(quint8 type) {
    return proto::registerCount(type);
}

qint64 typeMin(quint8 type) {
    switch (type) {
        case 3:
            return -32768;
        case 5:
            return -2147483648LL;
        default:
            return 0;
    }
}

qint64 typeMax(quint8 type) {
    switch (type) {
        case 1:
            return 255;
        case 2:
            return 65535;
        case 3:
            return 32767;
        case 4:
        case 6:
            return 4294967295LL;
        case 5:
            return 2147483647LL;
        default:
            return 0;
    }
}

bool fitsType(quint8 type, qint64 value) {
    return registerCount(type) > 0 && value >= typeMin(type) && value <= typeMax(type);
}

qint64 fromBits(quint8 type, quint32 bits) {
    switch (type) {
        case 1:
            return bits & 0xFFu;
        case 2:
            return bits & 0xFFFFu;
        case 3:
            return static_cast<qint16>(static_cast<quint16>(bits));
        case 4:
        case 6:
            return bits;
        case 5:
            return static_cast<qint32>(bits);
        default:
            return 0;
    }
}

quint32 toBits(quint8 type, qint64 value) {
    const auto bits = static_cast<quint32>(static_cast<quint64>(value));
    return registerCount(type) == 1 ? (bits & 0xFFFFu) : bits;
}

}  // namespace simvalue

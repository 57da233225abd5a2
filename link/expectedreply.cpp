#include "link/expectedreply.h"

#include <QString>

#include "base/bigendian.h"
#include "link/protocol.h"

namespace {
int byteAt(const QByteArray& b, int i) {
    return static_cast<quint8>(b[i]);
}
}  // namespace

ExpectedReply expectedReply(const QByteArray& request) {
    ExpectedReply e;
    if (request.size() < 2)
        return e;
    e.address = static_cast<quint8>(request[proto::kAddressByte]);
    e.function = static_cast<quint8>(request[proto::kFunctionByte]);
    const bool counted = request.size() >= 6;
    const int quantity = counted ? be::u16At(request, 4) : 0;
    switch (e.function) {
        case proto::kReadCoils:
        case proto::kReadInputs:
            e.shape = counted ? ExpectedReply::Shape::ByteCount : ExpectedReply::Shape::Unknown;
            e.byteCount = (quantity + 7) / 8;
            break;
        case proto::kReadHolding:
        case proto::kReadInputRegisters:
            e.shape = counted ? ExpectedReply::Shape::ByteCount : ExpectedReply::Shape::Unknown;
            e.byteCount = 2 * quantity;
            break;
        case proto::kWriteCoil:
        case proto::kWriteRegister:
        case proto::kWriteMultiple:
            e.shape = counted ? ExpectedReply::Shape::Echo : ExpectedReply::Shape::Unknown;
            e.echo = request.left(6);
            break;
        case proto::kReadStatus:
            e.shape = ExpectedReply::Shape::Status;
            break;
        default:
            e.shape = ExpectedReply::Shape::Unknown;
            break;
    }
    return e;
}

int ExpectedReply::frameSize() const {
    switch (shape) {
        case Shape::ByteCount:
            return byteCount + 4;
        case Shape::Echo:
            return 7;
        case Shape::Status:
            return 4;
        case Shape::None:
        case Shape::Unknown:
            break;
    }
    return 0;
}

QString ExpectedReply::mismatch(const QByteArray& frame) const {
    if (shape == Shape::None || frame.size() < 2)
        return QStringLiteral("no request to answer");
    const int got = byteAt(frame, 1);
    if (got & proto::kExceptionBit) {
        if ((got & 0x7F) != function)
            return QStringLiteral("exception to another function");
        return {};
    }
    if (got != function)
        return QStringLiteral("function not matching the request");
    switch (shape) {
        case Shape::ByteCount:
            if (frame.size() < 3 || byteAt(frame, 2) != byteCount)
                return QStringLiteral("byte count not matching the request");
            if (frame.size() != frameSize())
                return QStringLiteral("byte count not matching the frame");
            break;
        case Shape::Echo:
            if (frame.size() != frameSize() || frame.left(6) != echo)
                return QStringLiteral("echo not matching the request");
            break;
        case Shape::Status:
            if (frame.size() != frameSize())
                return QStringLiteral("status reply of wrong length");
            break;
        case Shape::None:
        case Shape::Unknown:
            break;
    }
    return {};
}

bool ExpectedReply::accepts(const QByteArray& frame) const {
    if (frame.isEmpty() || static_cast<quint8>(frame[0]) != address)
        return false;
    return mismatch(frame).isEmpty();
}

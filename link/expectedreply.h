#pragma once

#include <QByteArray>

// What reply a request asks for, from its own bytes alone: the single size
// table of the link. The frame reader, the reply matcher, the traffic monitor
// and the virtual instrument all take their sizes from it.
struct ExpectedReply {
    enum class Shape {
        None,       // the request is too short to ask for anything
        ByteCount,  // address, function, byteCount data bytes (read functions)
        Echo,       // the first six bytes of the request echoed (writes)
        Status,     // address, function, one status byte (function 0x07)
        Unknown,    // a function the instrument does not serve: any length
    };

    Shape shape = Shape::None;
    quint8 address = 0;
    quint8 function = 0;
    // ByteCount: the count byte the reply must carry; its frame (LRC
    // included) is byteCount + 4 bytes.
    int byteCount = 0;
    // Echo: the bytes the reply repeats.
    QByteArray echo;

    // Bytes of the whole reply frame (LRC included) when the shape fixes it,
    // else 0.
    int frameSize() const;
    // Could this decoded frame (LRC included) be the answer? Address,
    // function (an exception reply to the same function counts) and the size
    // or echo the function dictates.
    bool accepts(const QByteArray& frame) const;
    // Why a frame that passed its checksum is not this answer; empty when it
    // is (or when only its address differs: the caller decides on that).
    QString mismatch(const QByteArray& frame) const;
};

// Pure: the reply the instrument gives to this request body (address,
// function, data; an LRC at the end does no harm).
ExpectedReply expectedReply(const QByteArray& request);

#pragma once

#include <QByteArray>
#include <QList>

// Cuts the request stream into Modbus ASCII frames: a ":" starts a frame
// (dropping any unfinished one), LF ends it. What lies between ":" and the
// line end is handed out; `terminated` tells whether it ended in CR LF.
class FrameAssembler {
public:
    static constexpr qsizetype kMaxFrameChars = 513;

    struct Frame {
        QByteArray text;  // without ":" and the line end
        bool terminated = false;
    };

    QList<Frame> feed(const QByteArray& bytes);
    void reset();

private:
    QByteArray buffer_;
    bool inFrame_ = false;
};

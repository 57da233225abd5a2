#include "sim/frameassembler.h"

QList<FrameAssembler::Frame> FrameAssembler::feed(const QByteArray& bytes) {
    QList<Frame> frames;
    for (char c : bytes) {
        if (c == ':') {
            buffer_.clear();
            inFrame_ = true;
            continue;
        }
        if (!inFrame_)
            continue;  // noise between frames
        if (c == '\n') {
            Frame f;
            f.terminated = buffer_.endsWith('\r');
            f.text = f.terminated ? buffer_.chopped(1) : buffer_;
            frames.append(f);
            reset();
            continue;
        }
        buffer_.append(c);
        // A frame longer than any legal one: the line end was lost.
        if (buffer_.size() > kMaxFrameChars)
            reset();
    }
    return frames;
}

void FrameAssembler::reset() {
    buffer_.clear();
    inFrame_ = false;
}

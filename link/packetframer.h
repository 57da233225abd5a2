#pragma once

#include <QByteArray>
#include <QList>

// ComDataPacket1: cuts the received character stream into packets that start
// with ":" and end after CR LF, both included. Characters before a ":" are
// dropped. A packet runs to its CR LF whatever its length (the longest
// reply, 125 registers, is 513 characters); only one that reaches
// kMaxLength without its end is delivered as it stands, so that noise never
// piles up, and what follows waits for the next ":".
class ComDataPacket1 {
public:
    static constexpr int kMaxLength = 1024;

    QList<QByteArray> feed(const QByteArray& bytes);
    void reset() {
        current_.clear();
        inPacket_ = false;
    }

private:
    QByteArray current_;
    bool inPacket_ = false;
};

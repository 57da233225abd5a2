#pragma once

#include <QByteArray>
#include <QList>

// ComDataPacket1: cuts the received character stream into packets that start
// with ":" and end after CR LF, both included. Characters before a ":" are
// dropped; a packet that reaches 128 characters without its end is delivered
// as it stands, and what follows waits for the next ":".
class ComDataPacket1 {
public:
    static constexpr int kMaxLength = 128;

    QList<QByteArray> feed(const QByteArray& bytes);
    void reset() {
        current_.clear();
        inPacket_ = false;
    }

private:
    QByteArray current_;
    bool inPacket_ = false;
};

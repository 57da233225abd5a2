#include "link/packetframer.h"

QList<QByteArray> ComDataPacket1::feed(const QByteArray& bytes) {
    QList<QByteArray> packets;
    for (char c : bytes) {
        if (!inPacket_) {
            if (c != ':')
                continue;
            inPacket_ = true;
            current_.clear();
        } else if (c == ':') {
            // A new start inside a packet: the unfinished one is noise.
            current_.clear();
        }
        current_.append(c);
        const bool ended = current_.size() >= 2 && current_.endsWith("\r\n");
        if (ended || current_.size() >= kMaxLength) {
            packets.append(current_);
            current_.clear();
            inPacket_ = false;
        }
    }
    return packets;
}

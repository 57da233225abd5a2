#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>

#include "link/byteport.h"
#include "link/packetframer.h"
#include "link/replymatcher.h"

// VaCom: the instrument's port, fixed at 8N1, no flow control, DTR and RTS
// held inactive, with its packet framer. The port name chooses the byte
// stream: a serial device, or a network serial server (tcp://, rfc2217://). Lives on the main
// thread; the transmit thread asks the main thread to write.
class VaCom : public QObject {
    Q_OBJECT
public:
    // How often bytes are looked for while a packet is being handled.
    static constexpr int kHeldBackCheckMs = 2;

    explicit VaCom(QObject* parent = nullptr);

    static bool isAcceptedSpeed(const QString& text);

    void setPortName(const QString& name) { portName_ = name; }
    QString portName() const { return portName_; }
    // Takes the speed only when it is one of the five accepted texts.
    void setSpeedText(const QString& text);
    qint32 speed() const { return speed_; }

    // Opens the port; on failure errorText() says why and permissionDenied()
    // tells the usual Linux cause apart.
    bool open();
    void close();
    bool isOpen() const { return port_ && port_->isOpen(); }
    // The port name is a network address rather than a device.
    bool isOpening() const { return opening_; }
    bool isNetwork() const { return PortAddress::looksNetwork(portName_); }
    bool write(const QByteArray& frame);
    QString errorText() const { return errorText_; }
    bool permissionDenied() const { return permissionDenied_; }
    // Every request written here is recorded, so the reader can tell a late
    // reply to a resend from the answer to the next request.
    ReplyMatcher& matcher() { return matcher_; }

Q_SIGNALS:
    // ComDataPacket1Packet: one packet from ":" to CR LF.
    void packet(const QByteArray& packet);
    // The open port failed in a way that means the device has gone.
    void removed();

private:
    void readAvailable();
    // While a packet is handled: what arrived meanwhile (see readAvailable).
    void readHeldBack();
    void onLost();

    std::unique_ptr<BytePort> port_;
    // A network connect waits in an event loop; a second open meanwhile
    // (a recovery tick) is refused rather than nested.
    bool opening_ = false;
    ComDataPacket1 framer_;
    // Packets framed but not yet handed on, oldest first: a nested read
    // hands on the earlier ones before its own.
    std::deque<QByteArray> received_;
    bool handling_ = false;
    QTimer heldBack_;
    ReplyMatcher matcher_;
    QString portName_ = QStringLiteral("COM1");
    qint32 speed_ = 9600;
    QString errorText_;
    bool permissionDenied_ = false;
};

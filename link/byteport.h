#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QSerialPort>
#include <QTcpSocket>
#include <functional>
#include <memory>

#include "link/portaddress.h"
#include "link/rfc2217.h"

// The byte stream the link talks over. One interface for a serial device
// and for a network serial server, so nothing above VaCom knows which kind
// is open. Sequential and unbuffered; readyRead() when bytes arrive.
class BytePort : public QIODevice {
    Q_OBJECT
public:
    // The connect attempt's own bound: the window stays live meanwhile.
    static constexpr int kConnectWaitMs = 2000;
    // How long an RFC 2217 server may take to acknowledge the line set-up
    // (speed and framing) before the port is used anyway.
    static constexpr int kSetupWaitMs = 800;
    // The control requests (flow control, DTR, RTS) are not waited for: the
    // port is used at once, and one still unanswered this long after the
    // line was acknowledged is logged.
    static constexpr int kControlGraceMs = 300;

    static std::unique_ptr<BytePort> create(const PortAddress& address);

    // Opens the stream and sets the line up at `speed`, 8N1, no flow
    // control, DTR and RTS inactive (as far as the kind allows). On failure
    // errorString() says why in the user's language.
    virtual bool openPort(qint32 speed) = 0;
    virtual bool permissionDenied() const { return false; }
    bool isSequential() const override { return true; }
    // Takes in what the underlying device received while its readyRead was
    // held back (Qt does not signal again while one is being handled), so
    // bytesAvailable() counts it. Emits nothing.
    virtual void takeHeldBack() {}

Q_SIGNALS:
    // The open port failed under us: the device or the connection has gone.
    void lost();

protected:
    using QIODevice::QIODevice;
};

class SerialBytePort : public BytePort {
    Q_OBJECT
public:
    explicit SerialBytePort(const QString& path);
    bool openPort(qint32 speed) override;
    void close() override;
    bool permissionDenied() const override { return permissionDenied_; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    QSerialPort port_;
    bool permissionDenied_ = false;
};

// tcp:// (raw bytes) and rfc2217:// (telnet with the COM-PORT option).
class NetBytePort : public BytePort {
    Q_OBJECT
public:
    explicit NetBytePort(const PortAddress& address);
    bool openPort(qint32 speed) override;
    void close() override;
    qint64 bytesAvailable() const override;
    // The speed an RFC 2217 server acknowledged; 0 when it did not (or raw TCP).
    qint32 acknowledgedSpeed() const { return codec_ ? codec_->acknowledgedBaud() : 0; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    // Runs the event loop (user input held back) until `done` or `ms` pass.
    bool waitFor(const std::function<bool()>& done, int ms);
    void takeHeldBack() override;
    void onReadyRead();
    // Moves what the socket holds through the telnet layer into rx_; false
    // when the telnet stream broke.
    bool receive();
    void onSocketGone();
    void flushCodec();
    void logUnconfirmed(bool refused);

    PortAddress address_;
    QTcpSocket socket_;
    std::unique_ptr<Rfc2217Codec> codec_;
    QByteArray rx_;
    bool lostSignalled_ = false;
    // Counts openings, so a grace check left from an earlier one does nothing.
    quint64 opening_ = 0;
};

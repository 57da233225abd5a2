#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct telnet_t;
union telnet_event_t;

// The telnet side of an RFC 2217 port, without the socket: bytes from the
// server go in through receive(), which returns the serial data they carry
// (0xFF unescaped) and answers option negotiations; everything for the
// server (escaped data, negotiations, COM-PORT commands) collects in the
// output, taken with takeOutput(). The telnet state machine is libtelnet.
class Rfc2217Codec {
public:
    static constexpr unsigned char kComPortOption = 44;
    // Client-to-server COM-PORT-OPTION commands; the server answers +100.
    enum Command : unsigned char {
        SetBaudrate = 1,
        SetDatasize = 2,
        SetParity = 3,
        SetStopsize = 4,
        SetControl = 5,
    };
    enum Control : unsigned char {
        NoFlowControl = 1,
        DtrOff = 9,
        RtsOff = 12,
    };

    Rfc2217Codec();
    ~Rfc2217Codec();
    Rfc2217Codec(const Rfc2217Codec&) = delete;
    Rfc2217Codec& operator=(const Rfc2217Codec&) = delete;

    // Offers the COM-PORT option and binary transmission both ways.
    void start();
    // Queues the serial set-up: the speed, 8 data bits, no parity, 1 stop
    // bit, no flow control, DTR and RTS off. Sent once the server has
    // accepted the option (at once if it already has).
    void configure(qint32 baud);

    QByteArray receive(const char* bytes, qsizetype size);
    QByteArray receive(const QByteArray& bytes) { return receive(bytes.constData(), bytes.size()); }
    void sendData(const QByteArray& data);
    QByteArray takeOutput();

    // The server's answer to the option: accepted, refused, or none yet.
    bool optionAccepted() const { return accepted_; }
    bool optionRefused() const { return refused_; }
    // Every queued set-up command has been acknowledged.
    bool setupAcknowledged() const { return sent_ && awaiting_.isEmpty(); }
    // The line itself (speed, data size, parity, stop size) has been
    // acknowledged; SET-CONTROL requests may still be open, as servers on a
    // pseudo-terminal never answer the modem-line ones.
    bool lineAcknowledged() const;
    // The speed the server reported back, 0 before it did.
    qint32 acknowledgedBaud() const { return ackBaud_; }
    // The set-up commands still waiting for their acknowledgement, as text for the log.
    QString unacknowledged() const;
    // A protocol error libtelnet could not recover from; the stream is unusable.
    bool broken() const { return broken_; }

private:
    static void onEvent(telnet_t* telnet, telnet_event_t* event, void* self);
    void handle(telnet_event_t* event);
    void sendSetup();
    void command(unsigned char code, const QByteArray& value);
    void acknowledged(unsigned char code, const QByteArray& value);

    telnet_t* telnet_ = nullptr;
    QByteArray out_;
    QByteArray data_;
    bool accepted_ = false;
    bool refused_ = false;
    bool broken_ = false;
    bool sent_ = false;
    qint32 baud_ = 0;
    qint32 ackBaud_ = 0;
    // (command, value byte) pairs sent and not yet answered.
    QList<QPair<unsigned char, unsigned char>> awaiting_;
};

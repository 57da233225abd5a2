#include "link/rfc2217.h"

#include <libtelnet.h>

#include <QLoggingCategory>
#include <QtEndian>
#include <algorithm>

Q_LOGGING_CATEGORY(lcTelnet, "velmora.link.telnet", QtWarningMsg)

namespace {

// What this client does and asks of the server. Options not listed are
// refused by libtelnet.
const telnet_telopt_t kOptions[] = {
    {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {Rfc2217Codec::kComPortOption, TELNET_WILL, TELNET_DONT},
    {-1, 0, 0},
};

constexpr unsigned char kServerOffset = 100;

// SET-CONTROL values by the setting they concern: outbound flow control,
// BREAK, DTR, RTS, inbound flow control, and the signals read back.
unsigned char controlGroup(unsigned char value) {
    if (value <= 3)
        return 1;
    if (value <= 6)
        return 2;
    if (value <= 9)
        return 3;
    if (value <= 12)
        return 4;
    if (value <= 16)
        return 5;
    return 6;
}

}  // namespace

Rfc2217Codec::Rfc2217Codec() {
    telnet_ = telnet_init(kOptions, &Rfc2217Codec::onEvent, 0, this);
}

Rfc2217Codec::~Rfc2217Codec() {
    if (telnet_)
        telnet_free(telnet_);
}

void Rfc2217Codec::start() {
    telnet_negotiate(telnet_, TELNET_WILL, kComPortOption);
    telnet_negotiate(telnet_, TELNET_WILL, TELNET_TELOPT_BINARY);
    telnet_negotiate(telnet_, TELNET_DO, TELNET_TELOPT_BINARY);
}

void Rfc2217Codec::configure(qint32 baud) {
    baud_ = baud;
    if (accepted_)
        sendSetup();
}

QByteArray Rfc2217Codec::receive(const char* bytes, qsizetype size) {
    data_.clear();
    if (!broken_ && size > 0)
        telnet_recv(telnet_, bytes, static_cast<size_t>(size));
    return std::exchange(data_, QByteArray());
}

void Rfc2217Codec::sendData(const QByteArray& data) {
    if (!data.isEmpty())
        telnet_send(telnet_, data.constData(), static_cast<size_t>(data.size()));
}

QByteArray Rfc2217Codec::takeOutput() {
    return std::exchange(out_, QByteArray());
}

bool Rfc2217Codec::lineAcknowledged() const {
    return sent_ && std::all_of(awaiting_.cbegin(), awaiting_.cend(),
                                [](const auto& a) { return a.first == SetControl; });
}

QString Rfc2217Codec::unacknowledged() const {
    QStringList parts;
    for (const auto& [code, value] : awaiting_)
        parts << QStringLiteral("%1:%2").arg(code).arg(value);
    return parts.join(QLatin1Char(' '));
}

void Rfc2217Codec::onEvent(telnet_t*, telnet_event_t* event, void* self) {
    static_cast<Rfc2217Codec*>(self)->handle(event);
}

void Rfc2217Codec::handle(telnet_event_t* ev) {
    switch (ev->type) {
        case TELNET_EV_DATA:
            data_.append(ev->data.buffer, static_cast<qsizetype>(ev->data.size));
            break;
        case TELNET_EV_SEND:
            out_.append(ev->data.buffer, static_cast<qsizetype>(ev->data.size));
            break;
        case TELNET_EV_DO:
            if (ev->neg.telopt == kComPortOption && !accepted_) {
                accepted_ = true;
                refused_ = false;
                if (baud_ > 0)
                    sendSetup();
            }
            break;
        case TELNET_EV_DONT:
            if (ev->neg.telopt == kComPortOption) {
                accepted_ = false;
                refused_ = true;
                awaiting_.clear();
            }
            break;
        case TELNET_EV_SUBNEGOTIATION:
            if (ev->sub.telopt == kComPortOption && ev->sub.size >= 1) {
                const auto code = static_cast<unsigned char>(ev->sub.buffer[0]);
                if (code > kServerOffset)
                    acknowledged(
                        static_cast<unsigned char>(code - kServerOffset),
                        QByteArray(ev->sub.buffer + 1, static_cast<qsizetype>(ev->sub.size) - 1));
            }
            break;
        case TELNET_EV_WARNING:
            qCDebug(lcTelnet) << "telnet warning:" << ev->error.msg;
            break;
        case TELNET_EV_ERROR:
            qCWarning(lcTelnet) << "telnet error:" << ev->error.msg;
            broken_ = true;
            break;
        default:
            break;
    }
}

void Rfc2217Codec::sendSetup() {
    if (sent_)
        return;
    sent_ = true;
    QByteArray baud(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(baud_), baud.data());
    command(SetBaudrate, baud);
    command(SetDatasize, QByteArray(1, 8));
    command(SetParity, QByteArray(1, 1));    // NONE
    command(SetStopsize, QByteArray(1, 1));  // 1 bit
    command(SetControl, QByteArray(1, static_cast<char>(NoFlowControl)));
    command(SetControl, QByteArray(1, static_cast<char>(DtrOff)));
    command(SetControl, QByteArray(1, static_cast<char>(RtsOff)));
}

void Rfc2217Codec::command(unsigned char code, const QByteArray& value) {
    QByteArray body(1, static_cast<char>(code));
    body += value;
    // libtelnet escapes 0xFF inside the subnegotiation.
    telnet_subnegotiation(telnet_, kComPortOption, body.constData(),
                          static_cast<size_t>(body.size()));
    awaiting_.append({code, static_cast<unsigned char>(value.isEmpty() ? 0 : value.back())});
}

void Rfc2217Codec::acknowledged(unsigned char code, const QByteArray& value) {
    if (code == SetBaudrate && value.size() == 4)
        ackBaud_ = static_cast<qint32>(qFromBigEndian<quint32>(value.constData()));
    // A server answers a control request with the resulting state, which
    // may differ from the value asked for: an answer clears the oldest
    // request of its command (for SET-CONTROL, of the same signal).
    const unsigned char group = code == SetControl && !value.isEmpty()
                                    ? controlGroup(static_cast<unsigned char>(value.back()))
                                    : 0;
    for (qsizetype i = 0; i < awaiting_.size(); ++i) {
        if (awaiting_[i].first == code &&
            (code != SetControl || controlGroup(awaiting_[i].second) == group)) {
            awaiting_.removeAt(i);
            break;
        }
    }
}

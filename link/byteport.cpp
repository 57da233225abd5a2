#include "link/byteport.h"

#include <QEventLoop>
#include <QHash>
#include <QLoggingCategory>
#include <QTimer>

#include "base/eventlog.h"
#include "base/texts.h"

Q_DECLARE_LOGGING_CATEGORY(lcTelnet)

std::unique_ptr<BytePort> BytePort::create(const PortAddress& address) {
    if (address.isNetwork())
        return std::make_unique<NetBytePort>(address);
    return std::make_unique<SerialBytePort>(address.path);
}

// ---------------------------------------------------------------- serial

SerialBytePort::SerialBytePort(const QString& path) {
    port_.setPortName(path);
    connect(&port_, &QSerialPort::readyRead, this, &QIODevice::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // A resource error on the open port is the device going away.
        if (e == QSerialPort::ResourceError && port_.isOpen()) {
            setErrorString(port_.errorString());
            Q_EMIT lost();
        }
    });
}

bool SerialBytePort::openPort(qint32 speed) {
    permissionDenied_ = false;
    port_.setBaudRate(speed);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        setErrorString(port_.errorString());
        permissionDenied_ = port_.error() == QSerialPort::PermissionError;
        return false;
    }
    port_.setDataTerminalReady(false);
    port_.setRequestToSend(false);
    port_.clear();
    return QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void SerialBytePort::close() {
    if (port_.isOpen())
        port_.close();
    QIODevice::close();
}

qint64 SerialBytePort::bytesAvailable() const {
    return port_.bytesAvailable();
}

qint64 SerialBytePort::readData(char* data, qint64 maxSize) {
    return port_.read(data, maxSize);
}

qint64 SerialBytePort::writeData(const char* data, qint64 size) {
    const qint64 n = port_.write(data, size);
    if (n != size)
        setErrorString(port_.errorString());
    return n;
}

// ---------------------------------------------------------------- network

NetBytePort::NetBytePort(const PortAddress& address) : address_(address) {
    if (address_.kind == PortAddress::Rfc2217)
        codec_ = std::make_unique<Rfc2217Codec>();
    connect(&socket_, &QTcpSocket::readyRead, this, &NetBytePort::onReadyRead);
    connect(&socket_, &QTcpSocket::disconnected, this, &NetBytePort::onSocketGone);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &NetBytePort::onSocketGone);
}

bool NetBytePort::waitFor(const std::function<bool()>& done, int ms) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done() || socket_.state() == QAbstractSocket::UnconnectedState)
            loop.quit();
    };
    connect(&socket_, &QTcpSocket::connected, &loop, check);
    connect(&socket_, &QTcpSocket::stateChanged, &loop, check);
    connect(&socket_, &QTcpSocket::errorOccurred, &loop, check);
    connect(&socket_, &QTcpSocket::readyRead, &loop, check, Qt::QueuedConnection);
    timer.start(ms);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return done();
}

bool NetBytePort::openPort(qint32 speed) {
    lostSignalled_ = false;
    rx_.clear();
    const QString where = address_.text();
    socket_.connectToHost(address_.host, address_.port);
    const bool connected = waitFor(
        [this] { return socket_.state() == QAbstractSocket::ConnectedState; }, kConnectWaitMs);
    if (!connected) {
        switch (socket_.error()) {
            case QAbstractSocket::ConnectionRefusedError:
                setErrorString(
                    tr_("%1 refused the connection: nothing listens on that port.").arg(where));
                break;
            case QAbstractSocket::HostNotFoundError:
                setErrorString(tr_("%1: the host is not known.").arg(where));
                break;
            default:
                if (socket_.state() != QAbstractSocket::UnconnectedState)
                    setErrorString(tr_("%1 did not accept the connection within %2 s.")
                                       .arg(where)
                                       .arg(kConnectWaitMs / 1000));
                else
                    setErrorString(
                        tr_("Cannot connect to %1: %2").arg(where, socket_.errorString()));
                break;
        }
        socket_.abort();
        return false;
    }
    // A peer that vanishes without closing is noticed by the system.
    socket_.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (codec_) {
        codec_->start();
        codec_->configure(speed);
        flushCodec();
        const bool settled = waitFor(
            [this] {
                return codec_->optionRefused() || codec_->broken() || codec_->lineAcknowledged();
            },
            kSetupWaitMs);
        if (socket_.state() != QAbstractSocket::ConnectedState) {
            setErrorString(tr_("The connection to %1 was lost.").arg(where));
            socket_.abort();
            return false;
        }
        if (!settled || codec_->optionRefused()) {
            logUnconfirmed(codec_->optionRefused());
        } else if (!codec_->setupAcknowledged()) {
            const quint64 opening = ++opening_;
            QTimer::singleShot(kControlGraceMs, this, [this, opening] {
                if (opening == opening_ && isOpen() && !codec_->setupAcknowledged())
                    logUnconfirmed(false);
            });
        }
    }
    return QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void NetBytePort::logUnconfirmed(bool refused) {
    // Used anyway: the server may run its line at a fixed set-up. Said once
    // per address, not at every reconnection.
    static QHash<QString, bool> logged;
    const QString where = address_.text();
    if (logged.value(where))
        return;
    logged.insert(where, true);
    EventLog::log(
        QStringLiteral("Avviso: %1 non conferma le impostazioni della porta (%2), usata comunque")
            .arg(where,
                 refused ? QStringLiteral("COM-PORT-OPTION rifiutata") : codec_->unacknowledged()));
}

void NetBytePort::close() {
    ++opening_;
    lostSignalled_ = true;  // our own closing is not a loss
    socket_.abort();
    rx_.clear();
    QIODevice::close();
}

qint64 NetBytePort::bytesAvailable() const {
    return rx_.size();
}

qint64 NetBytePort::readData(char* data, qint64 maxSize) {
    const qint64 n = std::min<qint64>(maxSize, rx_.size());
    std::memcpy(data, rx_.constData(), static_cast<size_t>(n));
    rx_.remove(0, n);
    return n;
}

qint64 NetBytePort::writeData(const char* data, qint64 size) {
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        setErrorString(tr_("The connection to %1 was lost.").arg(address_.text()));
        return -1;
    }
    if (codec_) {
        codec_->sendData(QByteArray::fromRawData(data, size));
        flushCodec();
        return size;
    }
    return socket_.write(data, size);
}

void NetBytePort::flushCodec() {
    const QByteArray out = codec_->takeOutput();
    if (!out.isEmpty() && socket_.state() == QAbstractSocket::ConnectedState)
        socket_.write(out);
}

bool NetBytePort::receive() {
    const QByteArray bytes = socket_.readAll();
    if (!codec_) {
        rx_ += bytes;
        return true;
    }
    rx_ += codec_->receive(bytes);
    flushCodec();
    if (codec_->broken()) {
        onSocketGone();
        return false;
    }
    return true;
}

void NetBytePort::takeHeldBack() {
    if (socket_.bytesAvailable() > 0)
        receive();
}

void NetBytePort::onReadyRead() {
    if (receive() && !rx_.isEmpty() && isOpen())
        Q_EMIT readyRead();
}

void NetBytePort::onSocketGone() {
    if (!isOpen() || lostSignalled_)
        return;
    lostSignalled_ = true;
    setErrorString(tr_("The connection to %1 was lost.").arg(address_.text()));
    Q_EMIT lost();
}

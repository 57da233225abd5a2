#include "link/vacom.h"

#include <QLoggingCategory>

#include "link/codec.h"

Q_LOGGING_CATEGORY(lcWire, "velmora.link.wire", QtWarningMsg)

VaCom::VaCom(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &VaCom::readAvailable);
    connect(&port_, &QSerialPort::errorOccurred, this, &VaCom::onError);
}

bool VaCom::isAcceptedSpeed(const QString& text) {
    static const QStringList speeds = {QStringLiteral("9600"), QStringLiteral("19200"),
                                       QStringLiteral("38400"), QStringLiteral("57600"),
                                       QStringLiteral("115200")};
    return speeds.contains(text);
}

void VaCom::setSpeedText(const QString& text) {
    if (isAcceptedSpeed(text))
        speed_ = text.toInt();
}

bool VaCom::open() {
    close();
    errorText_.clear();
    permissionDenied_ = false;
    port_.setPortName(portName_);
    port_.setBaudRate(speed_);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        errorText_ = port_.errorString();
        permissionDenied_ = port_.error() == QSerialPort::PermissionError;
        return false;
    }
    port_.setDataTerminalReady(false);
    port_.setRequestToSend(false);
    port_.clear();
    framer_.reset();
    matcher_.reset();
    return true;
}

void VaCom::close() {
    if (port_.isOpen())
        port_.close();
    framer_.reset();
    matcher_.reset();
}

bool VaCom::write(const QByteArray& frame) {
    if (!port_.isOpen())
        return false;
    qCDebug(lcWire) << "TX" << frame.trimmed();
    if (port_.write(frame) != frame.size()) {
        errorText_ = port_.errorString();
        return false;
    }
    // ":" hex CR LF, as the request builders make it.
    if (frame.size() > 3 && frame.startsWith(':')) {
        try {
            matcher_.sent(codec::hex2bin(frame.mid(1, frame.size() - 3)));
        } catch (const std::exception&) {
            // Not a frame of ours: nothing to match its reply against.
        }
    }
    return true;
}

void VaCom::readAvailable() {
    const QByteArray bytes = port_.readAll();
    for (const QByteArray& p : framer_.feed(bytes)) {
        qCDebug(lcWire) << "RX" << p.trimmed();
        Q_EMIT packet(p);
    }
}

void VaCom::onError(QSerialPort::SerialPortError error) {
    // A resource error on the open port is the device going away.
    if (error == QSerialPort::ResourceError && port_.isOpen()) {
        errorText_ = port_.errorString();
        Q_EMIT removed();
    }
}

#include "link/vacom.h"

#include <QLoggingCategory>
#include <QScopeGuard>

#include "base/texts.h"
#include "link/codec.h"

Q_LOGGING_CATEGORY(lcWire, "velmora.link.wire", QtWarningMsg)

VaCom::VaCom(QObject* parent) : QObject(parent) {
    heldBack_.setInterval(kHeldBackCheckMs);
    connect(&heldBack_, &QTimer::timeout, this, &VaCom::readHeldBack);
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
    if (opening_) {
        errorText_ = tr_("%1 is still connecting.").arg(portName_);
        return false;
    }
    close();
    errorText_.clear();
    permissionDenied_ = false;
    const std::optional<PortAddress> address = PortAddress::parse(portName_, &errorText_);
    if (!address)
        return false;
    // The previous port may be the sender of the signal that led here.
    if (port_) {
        port_->disconnect(this);
        port_.release()->deleteLater();
    }
    port_ = BytePort::create(*address);
    connect(port_.get(), &QIODevice::readyRead, this, &VaCom::readAvailable);
    connect(port_.get(), &BytePort::lost, this, &VaCom::onLost);
    opening_ = true;
    const bool ok = port_->openPort(speed_);
    opening_ = false;
    if (!ok) {
        errorText_ = port_->errorString();
        permissionDenied_ = port_->permissionDenied();
        port_->close();
        return false;
    }
    framer_.reset();
    received_.clear();
    matcher_.reset();
    return true;
}

void VaCom::close() {
    if (port_ && port_->isOpen())
        port_->close();
    framer_.reset();
    received_.clear();
    matcher_.reset();
}

bool VaCom::write(const QByteArray& frame) {
    if (!isOpen())
        return false;
    qCDebug(lcWire) << "TX" << frame.trimmed();
    if (port_->write(frame) != frame.size()) {
        errorText_ = port_->errorString();
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
    if (!port_)
        return;
    for (QByteArray& p : framer_.feed(port_->readAll()))
        received_.push_back(std::move(p));
    // A packet's handler may wait for the next reply in a nested event loop
    // (a command sent from inside the live refresh). Qt does not signal a
    // port's readyRead again while one is being handled, so until this
    // returns a timer looks for the bytes instead; without it that reply
    // would be read only after its request had timed out.
    const bool outermost = !handling_;
    if (outermost) {
        handling_ = true;
        heldBack_.start();
    }
    const auto done = qScopeGuard([this, outermost] {
        if (outermost) {
            handling_ = false;
            heldBack_.stop();
        }
    });
    while (!received_.empty()) {
        const QByteArray p = std::move(received_.front());
        received_.pop_front();
        qCDebug(lcWire) << "RX" << p.trimmed();
        Q_EMIT packet(p);
    }
}

void VaCom::readHeldBack() {
    if (!port_ || !port_->isOpen())
        return;
    port_->takeHeldBack();
    if (port_->bytesAvailable() > 0)
        readAvailable();
}

void VaCom::onLost() {
    if (isOpen()) {
        errorText_ = port_->errorString();
        Q_EMIT removed();
    }
}

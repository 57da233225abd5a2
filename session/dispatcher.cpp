#include "session/dispatcher.h"

#include <QCoreApplication>
#include <QString>

#include "base/eventlog.h"
#include "link/codec.h"
#include "link/protocol.h"
#include "session/connection.h"
#include "session/session.h"

namespace {
QString letterText(char letter) {
    return letter ? QString(QChar(letter)) : QString();
}
char letterOf(const Exchange* exchange) {
    return exchange ? exchange->letter() : char(0);
}
}  // namespace

void Dispatcher::onExceptionReply(const QByteArray& frame, const Exchange* exchange) {
    LinkState& link = s_.link();
    const int function = static_cast<quint8>(frame[1]);
    const int code = static_cast<quint8>(frame[2]);
    EventLog::log(QStringLiteral("Errore Comando:") + letterText(letterOf(exchange)) +
                  QString::fromLatin1(codec::bin2hex(link.ultimaRichiesta())) +
                  QStringLiteral(" RX CMD:") + QString::number(function - 128) +
                  QStringLiteral(" Errore:") + QString::number(code));
    if (code == proto::kIllegalValue && exchange && !exchange->decided()) {
        // A refused value is final: the reader ends the exchange with it.
        link.stato_link = 3;
        s_.tStato().stop();
    }
}

QString Dispatcher::refuses(const QByteArray& frame, const Exchange* exchange) {
    const int function = static_cast<quint8>(frame[1]);
    if (function < proto::kReadCoils || function > proto::kReadInputRegisters)
        return {};
    const int count = static_cast<quint8>(frame[2]);
    // Every byte a branch of onFrame reads must be inside the frame.
    if (count < 1)
        return QStringLiteral("byte count not matching the request ") +
               letterText(letterOf(exchange));
    // What the request on the line asked for, from the one size table; a
    // reply to another function is not its answer and is left to onFrame.
    if (!exchange || static_cast<quint8>(exchange->expected().function) != function)
        return {};
    const ExpectedReply& expected = exchange->expected();
    if (expected.shape != ExpectedReply::Shape::ByteCount || expected.byteCount == count)
        return {};
    return QStringLiteral("byte count not matching the request ") + letterText(exchange->letter());
}

bool Dispatcher::onFrame(const QByteArray& frame, const Exchange* exchange) {
    LinkState& link = s_.link();
    const int function = static_cast<quint8>(frame[1]);
    const char letter = letterOf(exchange);
    // A reply to a function the request on the line did not ask is nobody's
    // answer here.
    if (exchange && exchange->expected().function != function)
        return false;
    switch (function) {
        case proto::kReadCoils:
            s_.ioBits = (s_.ioBits & 0x03) | ((static_cast<quint8>(frame[3]) & 0x03) << 2);
            return true;
        case proto::kReadInputs:
            s_.ioBits = (s_.ioBits & 0x0C) | (static_cast<quint8>(frame[3]) & 0x03);
            return true;
        case proto::kReadHolding:
            if (letter != 'X')
                return true;  // a parameter read: its builder takes the data
            return peakReply(frame);
        case proto::kReadInputRegisters:
            return inputRegisters(frame, letter);
        case proto::kWriteCoil:
        case proto::kWriteRegister:
        case proto::kWriteMultiple:
            link.stato_link = 1;
            s_.tStato().start();
            return true;
        case proto::kReadStatus:
            s_.display().statusFlags = static_cast<quint8>(frame[2]);
            return true;
        default:
            return false;
    }
}

bool Dispatcher::peakReply(const QByteArray& frame) {
    LinkState& link = s_.link();
    ParameterTable& t = s_.table();
    const int pos = t.entry(5).imagePos;
    // refuses() let through two data bytes only.
    t.writeImageByte(pos, static_cast<quint8>(frame[3]));
    t.writeImageByte(pos + 1, static_cast<quint8>(frame[4]));
    s_.decoder().decodeEntry(5);
    s_.decoder().showEntry(5);
    s_.stopRecover();
    const bool result = afterLiveReply();
    QCoreApplication::processEvents();
    if (link.stato_link == 2)
        s_.tStato().start();
    return result;
}

bool Dispatcher::afterLiveReply() {
    LinkState& link = s_.link();
    if (link.parametri_caricati) {
        s_.liveRefresh();
        return true;
    }
    link.online = false;
    s_.connection().refreshPresentation();
    s_.startRecover();
    return false;
}

bool Dispatcher::inputRegisters(const QByteArray& frame, char letter) {
    LinkState& link = s_.link();
    ParameterTable& t = s_.table();
    switch (letter) {
        case 0:
            EventLog::log(QStringLiteral("Modbus: tipocomando 0"));
            return false;
        case 'P': {
            const int first = t.bytes(0);
            const int length = t.bytes(1) - t.bytes(0);
            const QByteArray data = frame.mid(3, frame.size() - 4);
            for (int k = 0; k < length && k < data.size(); ++k)
                t.writeImageByte(first + k, static_cast<quint8>(data[k]));
            const int n = t.count(1) - t.count(0);
            s_.decoder().decodeEntries(t.count(0), n);
            for (int i = t.count(0); i < t.count(1); ++i)
                s_.decoder().showEntry(i);
            if (!link.online) {
                s_.connection().enablePages();
                link.online = true;
            }
            s_.stopRecover();
            const bool result = afterLiveReply();
            QCoreApplication::processEvents();
            if (link.stato_link == 2)
                s_.tStato().start();
            return result;
        }
        case 'S':
            return static_cast<quint8>(frame[2]) == 2;
        case 'V':
            return identification(frame);
        default:
            return false;
    }
}

bool Dispatcher::identification(const QByteArray& frame) {
    LinkState& link = s_.link();
    s_.connection().enablePages();
    link.online = true;
    const DefinitionChoice c =
        chooseDefinition(static_cast<quint8>(frame[3]), static_cast<quint8>(frame[4]));
    ParameterTable& t = s_.table();
    t.firmwareCaption = c.caption;
    t.definitionVersion = c.version;
    s_.controls().publish(ControlUpdate::setText(QStringLiteral("lbFirm2"),
                                                 s_.controls().text(QStringLiteral("lbFirm1"))));
    t.definitionPath = c.path;
    const ParameterTable::LoadResult r = t.loadDefinition(c.path);
    s_.publishPollGeometry();
    if (!r.ok) {
        // A half-loaded table is no base for a read-out or polls: the
        // instrument stays offline and the recovery tries again later.
        link.online = false;
        throw std::runtime_error(r.error.toStdString());
    }
    s_.tStato().start();
    link.stato_link = 1;
    s_.stopRecover();
    return true;
}

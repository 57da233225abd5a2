#include "session/dispatcher.h"

#include <QCoreApplication>
#include <QString>

#include "session/connection.h"
#include "base/eventlog.h"
#include "session/session.h"
#include "link/codec.h"

namespace {
QString letterText(char letter) {
    return letter ? QString(QChar(letter)) : QString();
}
}  // namespace

void Dispatcher::onExceptionReply(const QByteArray& frame) {
    LinkState& link = s_.link();
    const int function = static_cast<quint8>(frame[1]);
    const int code = static_cast<quint8>(frame[2]);
    EventLog::log(QStringLiteral("Errore Comando:") + letterText(link.tipocomando) +
                  QString::fromLatin1(codec::bin2hex(link.ultimaRichiesta())) +
                  QStringLiteral(" RX CMD:") + QString::number(function - 128) +
                  QStringLiteral(" Errore:") + QString::number(code));
    link.exceptionCode = code;
    if (code == 3) {
        // A refused value is final: the sender must not retry it.
        link.stato_link = 3;
        s_.tStato().stop();
        link.setRisposta(1);
    }
}

QString Dispatcher::refuses(const QByteArray& frame) {
    const LinkState& link = s_.link();
    const int function = static_cast<quint8>(frame[1]);
    if (function < 0x01 || function > 0x04)
        return {};
    // The reader has checked that the frame holds exactly this many data
    // bytes.
    const int count = static_cast<quint8>(frame[2]);
    const char letter = link.tipocomando;
    bool fits = true;
    switch (function) {
        case 0x01:
        case 0x02:
            // The polls ask two bits: one byte. Any reply needs its byte.
            fits = count >= 1 && (letter != (function == 0x01 ? 'C' : 'I') || count == 1);
            break;
        case 0x03:
            if (letter == 'X')
                fits = count == 2;
            else if (letter == 'Y')
                fits = count == 2 || count == 4;
            break;
        case 0x04:
            if (letter == 'P')
                fits = count == 2 * link.poll_p_count.load();
            else if (letter == 'V')
                fits = count == 2;
            break;
        default:
            break;
    }
    if (fits)
        return {};
    return QStringLiteral("byte count not matching the request ") + letterText(letter);
}

void Dispatcher::onFrame(const QByteArray& frame) {
    LinkState& link = s_.link();
    const int function = static_cast<quint8>(frame[1]);
    int result = 0;
    switch (function) {
        case 0x01:
            s_.ioBits = (s_.ioBits & 0x03) | ((static_cast<quint8>(frame[3]) & 0x03) << 2);
            link.tipocomando = 0;
            result = 1;
            break;
        case 0x02:
            s_.ioBits = (s_.ioBits & 0x0C) | (static_cast<quint8>(frame[3]) & 0x03);
            link.tipocomando = 0;
            result = 1;
            break;
        case 0x03:
            if (link.tipocomando != 'X') {
                s_.dati_rx = frame.mid(3, frame.size() - 4);
                result = 1;
            } else {
                result = peakReply(frame);
            }
            break;
        case 0x04:
            result = inputRegisters(frame);
            break;
        case 0x05:
        case 0x06:
        case 0x10:
            link.tipocomando = 0;
            link.stato_link = 1;
            s_.tStato().start();
            result = 1;
            break;
        case 0x07:
            s_.display().statusFlags = static_cast<quint8>(frame[2]);
            link.tipocomando = 0;
            result = 1;
            break;
        default:
            break;
    }
    // Written last, so a sender that sees it also sees everything stored.
    link.setRisposta(result);
}

int Dispatcher::peakReply(const QByteArray& frame) {
    LinkState& link = s_.link();
    ParameterTable& t = s_.table();
    const int pos = t.entry(5).imagePos;
    // refuses() let through two data bytes only.
    t.writeImageByte(pos, static_cast<quint8>(frame[3]));
    t.writeImageByte(pos + 1, static_cast<quint8>(frame[4]));
    s_.decoder().decodeEntry(5);
    s_.decoder().showEntry(5);
    s_.stopRecover();
    const int result = afterLiveReply();
    QCoreApplication::processEvents();
    link.tipocomando = 0;
    if (link.stato_link == 2)
        s_.tStato().start();
    return result;
}

int Dispatcher::afterLiveReply() {
    LinkState& link = s_.link();
    if (link.parametri_caricati) {
        s_.liveRefresh();
        return 1;
    }
    link.online = false;
    s_.connection().refreshPresentation();
    s_.startRecover();
    return 0;
}

int Dispatcher::inputRegisters(const QByteArray& frame) {
    LinkState& link = s_.link();
    ParameterTable& t = s_.table();
    const char letter = link.tipocomando;
    switch (letter) {
        case 0:
            EventLog::log(QStringLiteral("Modbus: tipocomando 0"));
            return 0;
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
            const int result = afterLiveReply();
            QCoreApplication::processEvents();
            if (link.stato_link == 2)
                s_.tStato().start();
            return result;
        }
        case 'S':
            return static_cast<quint8>(frame[2]) == 2 ? 1 : 0;
        case 'V':
            return identification(frame);
        default:
            return 0;
    }
}

int Dispatcher::identification(const QByteArray& frame) {
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
    return 1;
}

#include "session/requests.h"

#include "base/bigendian.h"

#include <QString>
#include <algorithm>
#include <exception>

#include "base/eventlog.h"
#include "link/codec.h"
#include "link/protocol.h"
#include "session/session.h"

namespace {
// Register numbers and counts wider than 16 bits go as their low 16 bits.
void put16(QByteArray& b, int v) {
    be::appendU16(b, static_cast<quint16>(v & 0xFFFF));
}
void put32(QByteArray& b, quint32 v) {
    be::appendU32(b, v);
}
}  // namespace

// A type the instrument does not know still goes as one register.
int Requests::readCount(quint8 type) {
    return std::max(1, proto::registerCount(type));
}
int Requests::writeCount(quint8 type) {
    return readCount(type);
}

QByteArray Requests::head(quint8 function) const {
    QByteArray b;
    b.append(static_cast<char>(s_.link().indirizzo.load() & 0xFF));
    b.append(static_cast<char>(function));
    return b;
}

QByteArray Requests::identificationBody() const {
    QByteArray b = head(proto::kReadInputRegisters);
    put16(b, 5);
    put16(b, 1);
    return b;
}

QByteArray Requests::probeBody(int address) const {
    QByteArray b;
    b.append(static_cast<char>(address & 0xFF));
    b.append(static_cast<char>(proto::kReadInputRegisters));
    put16(b, s_.table().dataBase);
    put16(b, 1);
    return b;
}

bool Requests::storeReply(int indice, int count, const Exchange& exchange) {
    if (!exchange.outcome().isAnswered())
        return false;
    // A reply of another length is not the answer to this read.
    const QByteArray data = exchange.data();
    if (data.size() != count * 2)
        return false;
    ParameterTable& t = s_.table();
    const ParamEntry& e = t.entry(indice);
    const int size = ParameterTable::typeSize(e.type);
    if (size == 1) {
        t.writeImageByte(e.imagePos, static_cast<quint8>(data[1]));
    } else {
        // Never past the entry's own bytes: the next entry's would be lost.
        for (int k = 0; k < size && k < data.size(); ++k)
            t.writeImageByte(e.imagePos + k, static_cast<quint8>(data[k]));
    }
    return true;
}

std::optional<Outcome> Requests::unread(int indice) const {
    const auto it = unread_.constFind(indice);
    if (it == unread_.cend())
        return std::nullopt;
    return *it;
}

void Requests::forget(int indice, const Outcome& why) {
    unread_.insert(indice, why);
    ParamEntry& e = s_.table().entry(indice);
    e.value.clear();
    try {
        s_.decoder().showEntry(indice);
    } catch (const std::exception& ex) {
        EventLog::log(QStringLiteral("Modbus: ") + QString::fromLocal8Bit(ex.what()));
    }
    s_.flushControls();
}

int Requests::commandRegister() const {
    const int entry = s_.table().findRole(proto::kRoleCommand);
    if (entry < 0) {
        EventLog::log(QStringLiteral("Errore: invia_comando - ruolo %1 assente")
                          .arg(int(proto::kRoleCommand)));
        return -1;
    }
    return s_.table().entry(entry).regOffset;
}

void Requests::decodeAndShow(int indice, bool show) {
    try {
        s_.decoder().decodeEntry(indice);
        if (show)
            s_.decoder().showEntry(indice);
    } catch (const std::exception& e) {
        EventLog::log(QStringLiteral("Modbus: ") + QString::fromLocal8Bit(e.what()));
    }
    s_.flushControls();
}

Outcome Requests::refusedLock() const {
    return Outcome::notSent(s_.link().online ? Outcome::Reason::LockHeld
                                             : Outcome::Reason::Offline);
}

Outcome Requests::leggi_parametro(int indice, bool diretto) {
    if (!s_.prendi_canale())
        return refusedLock();
    const ParamEntry& e = s_.table().entry(indice);
    const int count = readCount(e.type);
    QByteArray body = head(proto::kReadHolding);
    put16(body, e.regOffset + s_.table().setupBase);
    put16(body, count);
    const ExchangePtr ex = diretto ? s_.invia_diretto(ExchangeKind::Read, body)
                                   : s_.exchange(ExchangeKind::Read, body);
    Outcome outcome = ex->outcome();
    const bool stored = storeReply(indice, count, *ex);
    if (!stored && outcome.isAnswered())
        outcome = Outcome::damaged();  // an answer that is not this read's
    if (stored) {
        unread_.remove(indice);
        decodeAndShow(indice, true);
    } else if (outcome.wasSent()) {
        forget(indice, outcome);
    }
    s_.rilascia_canale();
    return outcome;
}

Outcome Requests::leggi_parametro_esteso(int indice) {
    if (!s_.prendi_canale())
        return refusedLock();
    const ParamEntry& e = s_.table().entry(indice);
    const int count = readCount(e.type);
    QByteArray body = head(proto::kReadHolding);
    put16(body, e.regOffset + s_.table().calibrationBase + 48);
    put16(body, count);
    const ExchangePtr ex = s_.exchange(ExchangeKind::Read, body);
    Outcome outcome = ex->outcome();
    const bool stored = storeReply(indice, count, *ex);
    if (!stored && outcome.isAnswered())
        outcome = Outcome::damaged();
    decodeAndShow(indice, stored);
    s_.rilascia_canale();
    return outcome;
}

bool Requests::valueToSend(int indice, qint64* value) const {
    const ParamEntry& e = s_.table().entry(indice);
    if (e.type == 6) {
        // A float travels as its IEEE bytes, as the image holds it.
        quint32 bits = 0;
        for (int k = 0; k < 4; ++k)
            bits = (bits << 8) | s_.table().readImageByte(e.imagePos + k);
        *value = bits;
        return true;
    }
    // The integer of the value text; a text that is not one sends nothing.
    bool ok = false;
    *value = e.value.toLongLong(&ok);
    return ok;
}

Outcome Requests::scrivi_parametro(int indice) {
    s_.view().setPendingWrites(++s_.pendingWrites);
    auto done = [this] { s_.view().setPendingWrites(--s_.pendingWrites); };
    // A write that finds another builder on the line waits its turn: its
    // exchange is queued behind the one running, and it waits on its own
    // exchange alone, so editing field after field with a slow instrument
    // loses nothing. Only a line held for a whole activity (the read-out,
    // a backup) refuses it.
    const bool locked = s_.prendi_canale();
    const LinkState& link = s_.link();
    if (!locked && (!link.online || link.uso_esclusivo)) {
        done();
        return refusedLock();
    }
    Outcome outcome = Outcome::notSent(Outcome::Reason::NoRegister);
    const ParamEntry& e = s_.table().entry(indice);
    const int reg = e.regOffset;
    qint64 value = 0;
    if (reg != 0 && valueToSend(indice, &value)) {
        QByteArray body;
        if (writeCount(e.type) == 2) {
            body = head(proto::kWriteMultiple);
            put16(body, reg);
            put16(body, 2);
            body.append('\x04');
            put32(body, static_cast<quint32>(value));
        } else {
            body = head(proto::kWriteRegister);
            put16(body, reg);
            put16(body, static_cast<int>(value & 0xFFFF));
        }
        outcome = s_.queueAndWait(ExchangeKind::Write, body);
    }
    done();
    if (locked)
        s_.rilascia_canale();
    return outcome;
}

Outcome Requests::scrivi_parametro_blocco(int indice) {
    if (!s_.prendi_canale())
        return refusedLock();
    Outcome outcome = Outcome::notSent(Outcome::Reason::NoRegister);
    const ParamEntry& e = s_.table().entry(indice);
    const int reg = e.regOffset + (indice >= 57 ? s_.table().calibrationBase : 0);
    qint64 value = 0;
    if (reg != 0 && valueToSend(indice, &value)) {
        const int count = writeCount(e.type);
        QByteArray body = head(proto::kWriteMultiple);
        put16(body, reg);
        put16(body, count);
        body.append(static_cast<char>(count * 2));
        if (count == 2)
            put32(body, static_cast<quint32>(value));
        else
            put16(body, static_cast<int>(value & 0xFFFF));
        s_.view().setBusyCursor(true);
        outcome = s_.queueAndWait(ExchangeKind::Write, body);
    }
    s_.rilascia_canale();
    return outcome;
}

Outcome Requests::invia_comando(quint8 codice) {
    if (!s_.prendi_canale())
        return refusedLock();
    const int reg = commandRegister();
    if (reg < 0) {
        s_.rilascia_canale();
        return Outcome::notSent(Outcome::Reason::NoRegister);
    }
    QByteArray body = head(proto::kWriteRegister);
    put16(body, reg);
    body.append('\0');
    body.append(static_cast<char>(codice));
    const Outcome outcome = s_.queueAndWait(ExchangeKind::Write, body);
    s_.rilascia_canale();
    return outcome;
}

Outcome Requests::scrivi_uscita(int uscita, quint16 valore) {
    if (!s_.prendi_canale())
        return refusedLock();
    QByteArray body = head(proto::kWriteCoil);
    put16(body, uscita);
    put16(body, valore);
    const Outcome outcome = s_.queueAndWait(ExchangeKind::Write, body);
    s_.rilascia_canale();
    return outcome;
}

#include "session/trafficdecoder.h"

#include <QJsonArray>
#include <algorithm>
#include <optional>

#include "base/bigendian.h"
#include "base/texts.h"
#include "device/paramtable.h"
#include "device/valuecodec.h"
#include "link/codec.h"
#include "link/expectedreply.h"
#include "link/protocol.h"

namespace {

int byteAt(const QByteArray& b, int i) {
    return static_cast<quint8>(b.at(i));
}

// The entry's bytes from a block of registers that starts `delta` registers
// before it, as the read builders store them: a one-byte entry is the low
// byte of its register.
std::optional<QString> valueInRegisters(const ParamEntry& e, const QByteArray& data, int delta) {
    const int size = ParameterTable::typeSize(e.type);
    const int at = 2 * delta + (size == 1 ? 1 : 0);
    if (size <= 0 || at < 0 || at + size > data.size())
        return std::nullopt;
    return decodeValue(e.type, QByteArrayView(data).sliced(at, size));
}

// The data of the reply that ended the exchange: the bytes after the byte
// count of a read, LRC left off. Empty when no read reply was accepted.
QByteArray replyData(const TrafficRecord& r) {
    if (!r.outcome.isAnswered())
        return {};
    const ExpectedReply want = expectedReply(r.requestBytes());
    for (qsizetype i = r.lines.size() - 1; i >= 0; --i) {
        const TrafficLine& l = r.lines.at(i);
        if (l.kind != TrafficLine::Kind::Accepted)
            continue;
        QByteArray bytes;
        try {
            bytes = codec::hex2bin(l.text.mid(1));
        } catch (const codec::ConversionError&) {
            return {};
        }
        if (bytes.size() < 4)
            return {};
        // An exception reply carries no data.
        if (byteAt(bytes, 1) != want.function)
            return {};
        switch (want.shape) {
            case ExpectedReply::Shape::ByteCount:
                return bytes.mid(3, byteAt(bytes, 2));
            case ExpectedReply::Shape::Status:
                return bytes.mid(2, 1);
            default:
                return {};
        }
    }
    return {};
}

QString hexByte(int v) {
    return QStringLiteral("0x") +
           QString::number(v & 0xFF, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

}  // namespace

TrafficDecoder::TrafficDecoder(const ParameterTable& table) : table_(table) {
    seed();
}

void TrafficDecoder::seed() {
    known_.clear();
    seededPath_ = table_.definitionPath;
    seededEntries_ = table_.entryCount();
    for (int i = 0; i < table_.entryCount(); ++i) {
        const QString& v = table_.entry(i).value;
        if (!v.isEmpty())
            known_.insert(i, v);
    }
}

QString TrafficDecoder::knownValue(int index) const {
    return known_.value(index);
}

QString TrafficDecoder::letterMeaning(char letter) {
    switch (letter) {
        case 'C':
            return tr_("poll: outputs");
        case 'I':
            return tr_("poll: inputs");
        case 'E':
            return tr_("poll: status byte");
        case 'P':
            return tr_("poll: live values");
        case 'X':
            return tr_("poll: peak weight");
        case 'Y':
            return tr_("read entry");
        case 'W':
            return tr_("write");
        case 'V':
            return tr_("identification");
        case 'S':
            return tr_("search probe");
        default:
            return tr_("unknown");
    }
}

QString TrafficDecoder::commandName(int code) {
    QString name;
    switch (code) {
        case proto::kCmdTare:
            name = tr_("Tare (gross)");
            break;
        case proto::kCmdZero:
            name = tr_("Tare (net)");
            break;
        case proto::kCmdPeakReset:
            name = tr_("Tare (peak)");
            break;
        case proto::kCmdCalibrationZero:
            name = tr_("Calibration zero");
            break;
        case proto::kCmdAcquire:
            name = tr_("Acquire sample weight");
            break;
        case proto::kCmdCalibrationResetArm:
            name = tr_("Reset calibration (first step)");
            break;
        case proto::kCmdCalibrationReset:
            name = tr_("Reset calibration");
            break;
        case proto::kCmdAdcZero:
            name = tr_("Sensor zero (0 mV)");
            break;
        case proto::kCmdAdcFullScale:
            name = tr_("Sensor full scale (2 mV)");
            break;
        case proto::kCmdFactoryReset:
            name = tr_("Factory reset");
            break;
        case proto::kCmdSave:
            name = tr_("Save");
            break;
        case proto::kCmdCalibrationRestored:
            name = tr_("Store calibration");
            break;
        default:
            return tr_("Command %1").arg(hexByte(code));
    }
    return name + QStringLiteral(" (") + hexByte(code) + QLatin1Char(')');
}

void TrafficDecoder::cover(int first, int end, int base, int reg, int count,
                           QList<Covered>* out) const {
    for (int i = first; i < end; ++i) {
        const ParamEntry& e = table_.entry(i);
        const int n = proto::registerCount(e.type);
        if (n == 0)
            continue;
        const int at = (base + e.regOffset) & 0xFFFF;
        if (at >= reg + count || reg >= at + n)
            continue;
        if (std::none_of(out->cbegin(), out->cend(),
                         [i](const Covered& c) { return c.index == i; }))
            out->append(Covered{i, at - reg});
    }
}

DecodedTraffic TrafficDecoder::decode(const TrafficRecord& r) {
    if (table_.definitionPath != seededPath_ || table_.entryCount() != seededEntries_) {
        // Another definition: the indexes name other entries now, and what
        // was known belonged to another instrument.
        known_.clear();
        seededPath_ = table_.definitionPath;
        seededEntries_ = table_.entryCount();
    }
    DecodedTraffic d;
    d.meaning = letterMeaning(r.letter);
    const QByteArray req = r.requestBytes();
    if (req.size() < 3)
        return d;
    d.function = byteAt(req, 1);
    const bool answered = r.outcome.isAnswered();
    const QByteArray data = replyData(r);
    const int setupEnd = table_.count(0);
    const int dataEnd = table_.count(1);
    const int calEnd = table_.count(2);

    auto entryOf = [this](int index) {
        const ParamEntry& e = table_.entry(index);
        TrafficEntry t;
        t.index = index;
        t.name = e.name;
        t.role = e.role == ParameterTable::kNoRole ? -1 : static_cast<int>(e.role);
        t.oldValue = knownValue(index);
        return t;
    };

    switch (d.function) {
        case proto::kReadCoils:
        case proto::kReadInputs:
        case proto::kReadHolding:
        case proto::kReadInputRegisters:
        case proto::kWriteCoil:
        case proto::kWriteRegister:
        case proto::kWriteMultiple:
            if (req.size() >= 7) {
                d.reg = be::u16At(req, 2);
                d.count = be::u16At(req, 4);
            }
            break;
        default:
            break;
    }

    if (d.function == proto::kReadHolding && d.reg >= 0 && r.letter != 'S') {
        QList<Covered> hit;
        cover(0, setupEnd, table_.setupBase, d.reg, d.count, &hit);
        if (hit.isEmpty()) {
            // The backup reads the calibration section 48 registers on.
            cover(dataEnd, calEnd, table_.calibrationBase + 48, d.reg, d.count, &hit);
            cover(dataEnd, calEnd, table_.calibrationBase, d.reg, d.count, &hit);
        }
        for (const Covered& c : hit) {
            const int i = c.index;
            TrafficEntry t = entryOf(i);
            const ParamEntry& e = table_.entry(i);
            if (!data.isEmpty())
                if (const auto v = valueInRegisters(e, data, c.delta)) {
                    t.newValue = *v;
                    known_.insert(i, *v);
                }
            d.entries.append(t);
        }
    } else if (d.function == proto::kReadInputRegisters && r.letter == 'V') {
        if (data.size() >= 2)
            d.value = tr_("model %1, release %2").arg(byteAt(data, 0)).arg(byteAt(data, 1));
    } else if (d.function == proto::kReadInputRegisters && r.letter != 'S') {
        // The live poll: the dispatcher copies the reply into the image from
        // the data section's first byte on, so entries are found by position.
        const int first = table_.bytes(0);
        for (int i = setupEnd; i < dataEnd; ++i) {
            const ParamEntry& e = table_.entry(i);
            const int size = ParameterTable::typeSize(e.type);
            const int at = e.imagePos - first;
            if (size <= 0 || at < 0 || at + size > 2 * d.count)
                continue;
            TrafficEntry t = entryOf(i);
            if (at + size <= data.size())
                if (const auto v = decodeValue(e.type, QByteArrayView(data).sliced(at, size))) {
                    t.newValue = *v;
                    known_.insert(i, *v);
                }
            d.entries.append(t);
        }
    } else if ((d.function == proto::kWriteRegister || d.function == proto::kWriteMultiple) &&
               d.reg >= 0) {
        // What the request carries, as register bytes.
        QByteArray written;
        if (d.function == proto::kWriteRegister) {
            written = req.mid(4, 2);
            d.count = 1;
        } else if (req.size() >= 8) {
            written = req.mid(7, byteAt(req, 6));
        }
        const int commandEntry = table_.findRole(6);
        if (d.function == proto::kWriteRegister && commandEntry >= 0 &&
            (table_.entry(commandEntry).regOffset & 0xFFFF) == d.reg) {
            const int code = written.size() == 2 ? byteAt(written, 1) : 0;
            d.command = commandName(code);
            TrafficEntry t = entryOf(commandEntry);
            t.newValue = QString::number(code);
            d.entries.append(t);
        } else {
            // Single writes add no base; the write-all adds the calibration
            // base to the calibration entries.
            QList<Covered> hit;
            cover(0, setupEnd, 0, d.reg, d.count, &hit);
            if (hit.isEmpty())
                cover(dataEnd, calEnd, table_.calibrationBase, d.reg, d.count, &hit);
            for (const Covered& c : hit) {
                const int i = c.index;
                const ParamEntry& e = table_.entry(i);
                TrafficEntry t = entryOf(i);
                if (const auto v = valueInRegisters(e, written, c.delta)) {
                    t.newValue = *v;
                    // Only a value the instrument took replaces the old one.
                    if (answered)
                        known_.insert(i, *v);
                }
                d.entries.append(t);
            }
        }
    } else if (d.function == proto::kWriteCoil && d.reg >= 0) {
        d.value =
            tr_("output %1 %2").arg(d.reg + 1).arg(d.count == 0xFF00 ? tr_("on") : tr_("off"));
    } else if (d.function == proto::kReadCoils && !data.isEmpty()) {
        d.value = tr_("outputs %1").arg(hexByte(byteAt(data, 0)));
    } else if (d.function == proto::kReadInputs && !data.isEmpty()) {
        d.value = tr_("inputs %1").arg(hexByte(byteAt(data, 0)));
    } else if (d.function == proto::kReadStatus && !data.isEmpty()) {
        d.value = tr_("status %1").arg(hexByte(byteAt(data, 0)));
    }
    return d;
}

QString DecodedTraffic::details() const {
    QStringList parts;
    if (!command.isEmpty())
        parts << command;
    else
        for (const TrafficEntry& e : entries) {
            QString text = e.name;
            if (e.role >= 0)
                text += QStringLiteral(" (") + tr_("role %1").arg(e.role) + QLatin1Char(')');
            if (!e.oldValue.isEmpty() && !e.newValue.isEmpty() && e.oldValue != e.newValue)
                text += QStringLiteral(": ") + e.oldValue + QStringLiteral(" → ") + e.newValue;
            else if (!e.newValue.isEmpty())
                text += QStringLiteral(" = ") + e.newValue;
            else if (!e.oldValue.isEmpty())
                text += QStringLiteral(" (") + tr_("was %1").arg(e.oldValue) + QLatin1Char(')');
            parts << text;
        }
    if (!value.isEmpty())
        parts << value;
    return parts.join(QStringLiteral("; "));
}

QString TrafficDecoder::outcomeText(const TrafficRecord& r) {
    switch (r.outcome.kind) {
        case Outcome::Kind::Answered:
            return r.sends > 1 ? tr_("answered after %1 sends").arg(r.sends) : tr_("answered");
        case Outcome::Kind::Refused:
            return tr_("refused (code %1)").arg(r.outcome.exceptionCode);
        case Outcome::Kind::NoAnswer:
            return tr_("no answer after %1 sends").arg(r.sends);
        case Outcome::Kind::Damaged:
            return tr_("damaged replies, %1 sends").arg(r.sends);
        case Outcome::Kind::NotSent:
            break;
    }
    return tr_("not sent");
}

QJsonObject TrafficDecoder::toJson(const TrafficRecord& r, const DecodedTraffic& d) {
    QJsonObject o;
    o.insert(QStringLiteral("seq"), static_cast<double>(r.seq));
    o.insert(QStringLiteral("time"), r.time.toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("letter"), QString(QChar(r.letter ? r.letter : '?')));
    o.insert(QStringLiteral("meaning"), d.meaning);
    o.insert(QStringLiteral("request"), QString::fromLatin1(r.request));
    o.insert(QStringLiteral("sends"), r.sends);
    o.insert(QStringLiteral("waitMs"), static_cast<double>(r.waitMs));
    QString outcome;
    switch (r.outcome.kind) {
        case Outcome::Kind::Answered:
            outcome = QStringLiteral("answered");
            break;
        case Outcome::Kind::Refused:
            outcome = QStringLiteral("refused");
            o.insert(QStringLiteral("exceptionCode"), r.outcome.exceptionCode);
            break;
        case Outcome::Kind::NoAnswer:
            outcome = QStringLiteral("no answer");
            break;
        case Outcome::Kind::Damaged:
            outcome = QStringLiteral("damaged");
            break;
        case Outcome::Kind::NotSent:
            outcome = QStringLiteral("not sent");
            break;
    }
    o.insert(QStringLiteral("outcome"), outcome);
    if (r.direct)
        o.insert(QStringLiteral("direct"), true);
    QJsonArray lines;
    for (const TrafficLine& l : r.lines) {
        QJsonObject lo;
        lo.insert(QStringLiteral("kind"), TrafficLine::kindName(l.kind));
        if (l.kind == TrafficLine::Kind::Damaged || l.kind == TrafficLine::Kind::OtherAddress)
            lo.insert(QStringLiteral("stage"), TrafficLine::stageName(l.stage));
        lo.insert(QStringLiteral("text"), QString::fromLatin1(l.text));
        lines.append(lo);
    }
    o.insert(QStringLiteral("lines"), lines);
    if (d.reg >= 0)
        o.insert(QStringLiteral("register"), d.reg);
    if (!d.command.isEmpty())
        o.insert(QStringLiteral("command"), d.command);
    if (!d.value.isEmpty())
        o.insert(QStringLiteral("value"), d.value);
    QJsonArray entries;
    for (const TrafficEntry& e : d.entries) {
        QJsonObject eo;
        eo.insert(QStringLiteral("index"), e.index);
        eo.insert(QStringLiteral("name"), e.name);
        if (e.role >= 0)
            eo.insert(QStringLiteral("role"), e.role);
        if (!e.oldValue.isEmpty())
            eo.insert(QStringLiteral("old"), e.oldValue);
        if (!e.newValue.isEmpty())
            eo.insert(QStringLiteral("new"), e.newValue);
        entries.append(eo);
    }
    o.insert(QStringLiteral("entries"), entries);
    return o;
}

QString TrafficDecoder::toText(const TrafficRecord& r, const DecodedTraffic& d) {
    QStringList problems;
    for (const TrafficLine& l : r.lines) {
        if (l.kind == TrafficLine::Kind::Accepted)
            continue;
        QString p = TrafficLine::kindName(l.kind);
        if (l.kind == TrafficLine::Kind::Damaged)
            p += QLatin1Char(' ') + TrafficLine::stageName(l.stage);
        problems << p;
    }
    QString text = QStringLiteral("%1  %2 %3  %4 ms  %5")
                       .arg(r.time.toString(QStringLiteral("HH:mm:ss.zzz")))
                       .arg(QChar(r.letter ? r.letter : '?'))
                       .arg(d.meaning.leftJustified(18))
                       .arg(r.waitMs, 5)
                       .arg(outcomeText(r));
    if (!problems.isEmpty())
        text += QStringLiteral(" [") + problems.join(QStringLiteral(", ")) + QLatin1Char(']');
    const QString details = d.details();
    if (!details.isEmpty())
        text += QStringLiteral("  ") + details;
    return text;
}

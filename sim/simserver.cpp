#include "sim/simserver.h"

#include "base/bigendian.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include "link/codec.h"
#include "link/protocol.h"
#include "sim/faultinjector.h"
#include "sim/ptyport.h"
#include "sim/siminstrument.h"
#include "sim/trafficlog.h"

namespace {

quint16 wordAt(const QByteArray& body, int i) {
    return be::u16At(body, i);
}

// What a request asks, read from its body alone: for the log of requests the
// instrument does not get to handle (silenced or refused).
SimInstrument::Request describe(const QByteArray& body) {
    SimInstrument::Request r;
    r.address = static_cast<quint8>(body[0]);
    r.function = static_cast<quint8>(body[1]);
    if (body.size() < 6 || r.function == proto::kReadStatus)
        return r;
    r.reg = wordAt(body, 2);
    switch (r.function) {
        case proto::kWriteCoil:
        case proto::kWriteRegister:
            r.count = 1;
            r.values << wordAt(body, 4);
            break;
        case proto::kWriteMultiple:
            r.count = wordAt(body, 4);
            for (int i = 7; i + 1 < body.size(); i += 2)
                r.values << wordAt(body, i);
            break;
        default:
            r.count = wordAt(body, 4);
            break;
    }
    return r;
}

void putRequest(QJsonObject& rec, const SimInstrument::Request& r) {
    rec.insert(QStringLiteral("address"), r.address);
    rec.insert(QStringLiteral("function"), r.function);
    if (r.reg >= 0)
        rec.insert(QStringLiteral("register"), r.reg);
    if (r.count >= 0)
        rec.insert(QStringLiteral("count"), r.count);
    QJsonArray values;
    for (qint64 v : r.values)
        values.append(static_cast<double>(v));
    rec.insert(QStringLiteral("values"), values);
}

}  // namespace

SimServer::SimServer(SimInstrument& instrument, FaultInjector& faults, PtyPort& port,
                     TrafficLog* traffic, int baud, QObject* parent)
    : SimServer(std::vector<SimInstrument*>{&instrument}, faults, port, traffic, baud, parent) {}

SimServer::SimServer(std::vector<SimInstrument*> instruments, FaultInjector& faults, PtyPort& port,
                     TrafficLog* traffic, int baud, QObject* parent)
    : QObject(parent),
      instruments_(std::move(instruments)),
      faults_(faults),
      port_(port),
      traffic_(traffic),
      baud_(baud) {
    clock_.start();
    timer_.setSingleShot(true);
    // A coarse timer may fire early; a paced reply must never come too soon.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SimServer::pump);
    connect(&port_, &PtyPort::received, this, &SimServer::onBytes);
}

void SimServer::syncClock() {
    for (SimInstrument* i : instruments_)
        i->advanceTo(clock_.elapsed());
}

SimInstrument* SimServer::instrumentAt(int address) const {
    // An address written to one instrument may equal another's; the first
    // keeps the line, as the one that would win arbitration.
    for (SimInstrument* i : instruments_)
        if (i->address() == address)
            return i;
    return nullptr;
}

void SimServer::dropPending() {
    pending_.clear();
    timer_.stop();
    assembler_.reset();
}

qint64 SimServer::replyDelayMs(qsizetype chars, const SimInstrument& instrument) const {
    qint64 ms = faults_.options().delayMs;
    if (baud_ > 0)
        ms += (static_cast<qint64>(chars) * 10 * 1000 + baud_ - 1) / baud_ +
              instrument.responseTimeMs();
    return ms;
}

void SimServer::onBytes(const QByteArray& bytes) {
    for (const FrameAssembler::Frame& f : assembler_.feed(bytes))
        handleFrame(f);
}

void SimServer::handleFrame(const FrameAssembler::Frame& frame) {
    QJsonObject rec;
    rec.insert(QStringLiteral("seq"), static_cast<double>(++sequence_));
    rec.insert(QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
    rec.insert(QStringLiteral("request"), QString::fromLatin1(':' + frame.text));
    auto finish = [&](const QString& answer) {
        rec.insert(QStringLiteral("answer"), answer);
        if (traffic_)
            traffic_->write(rec);
    };
    auto invalid = [&](const QString& why) {
        rec.insert(QStringLiteral("error"), why);
        finish(QStringLiteral("invalid"));
    };

    // A slave stays quiet on a frame it cannot trust.
    if (!frame.terminated)
        return invalid(QStringLiteral("LF without CR"));
    if (frame.text.size() % 2 != 0)
        return invalid(QStringLiteral("odd number of hex digits"));
    QByteArray bytes;
    try {
        bytes = codec::hex2bin(frame.text);
    } catch (const codec::ConversionError& e) {
        return invalid(QString::fromStdString(e.what()));
    }
    if (bytes.size() < 3)
        return invalid(QStringLiteral("too short"));
    if (!codec::verifica_lrc(bytes))
        return invalid(QStringLiteral("bad LRC"));
    const QByteArray body = bytes.chopped(1);

    syncClock();
    SimInstrument* const target = instrumentAt(static_cast<quint8>(body[0]));
    if (!target) {
        putRequest(rec, describe(body));
        return finish(QStringLiteral("ignored"));
    }
    if (faults_.silences()) {
        putRequest(rec, describe(body));
        rec.insert(QStringLiteral("faults"), QJsonArray{QStringLiteral("silent")});
        return finish(QStringLiteral("none"));
    }

    QByteArray reply;
    QStringList applied;
    int exception = 0;
    if (faults_.refuses(body)) {
        putRequest(rec, describe(body));
        exception = 3;
        reply = SimInstrument::exceptionBody(static_cast<quint8>(body[0]),
                                             static_cast<quint8>(body[1]), 3);
        applied << QStringLiteral("exception3-on-register");
    } else {
        const SimInstrument::Result r = target->handleRequest(body);
        putRequest(rec, r.request);
        exception = r.exceptionCode;
        reply = r.reply;
    }
    const FaultInjector::Delivery d = faults_.deliver(reply);
    applied << d.faults;
    QByteArray wire;
    for (const QByteArray& p : d.pieces)
        wire += p;
    // A pty delivers the request at once; on a real line its characters would
    // still be arriving, so they count towards the wire time too.
    const qint64 delay = replyDelayMs(wire.size() + frame.text.size() + 3, *target);
    if (exception)
        rec.insert(QStringLiteral("exception"), exception);
    rec.insert(QStringLiteral("reply"), QString::fromLatin1(wire));
    if (!applied.isEmpty())
        rec.insert(QStringLiteral("faults"), QJsonArray::fromStringList(applied));
    rec.insert(QStringLiteral("delayMs"), static_cast<double>(delay));
    finish(exception ? QStringLiteral("exception") : QStringLiteral("reply"));
    queueReply(d.pieces, delay);
}

void SimServer::queueReply(const QList<QByteArray>& pieces, qint64 delayMs) {
    qint64 due = clock_.elapsed() + delayMs;
    if (!pending_.empty())
        due = std::max(due, pending_.back().due);
    for (const QByteArray& p : pieces) {
        pending_.push_back(Pending{due, p});
        due += FaultInjector::kSplitGapMs;
    }
    pump();
}

void SimServer::pump() {
    const qint64 now = clock_.elapsed();
    while (!pending_.empty() && pending_.front().due <= now) {
        port_.write(pending_.front().bytes);
        pending_.pop_front();
    }
    if (!pending_.empty())
        timer_.start(static_cast<int>(pending_.front().due - now));
}

#include "link/trafficrecord.h"

#include <algorithm>

#include "link/codec.h"

using Stage = FrameReader::Outcome;

bool TrafficLine::isLine(Stage stage) {
    return stage != Stage::Ignored && stage != Stage::Incomplete;
}

TrafficLine::Kind TrafficLine::kindOf(Stage stage) {
    switch (stage) {
        case Stage::Dispatched:
            return Kind::Accepted;
        case Stage::Exception:
            return Kind::Exception;
        case Stage::Late:
            return Kind::Late;
        case Stage::WrongAddress:
            return Kind::OtherAddress;
        default:
            return Kind::Damaged;
    }
}

QString TrafficLine::kindName(Kind kind) {
    switch (kind) {
        case Kind::Accepted:
            return QStringLiteral("accepted");
        case Kind::Exception:
            return QStringLiteral("exception");
        case Kind::Damaged:
            return QStringLiteral("damaged");
        case Kind::Late:
            return QStringLiteral("late");
        case Kind::OtherAddress:
            return QStringLiteral("other address");
    }
    return {};
}

QString TrafficLine::stageName(Stage stage) {
    switch (stage) {
        case Stage::WrongAddress:
            return QStringLiteral("address");
        case Stage::Short:
            return QStringLiteral("short");
        case Stage::Truncated:
            return QStringLiteral("truncated");
        case Stage::Checksum:
            return QStringLiteral("checksum");
        case Stage::WrongCount:
            return QStringLiteral("byte count");
        case Stage::ConversionError:
            return QStringLiteral("conversion");
        case Stage::Late:
            return QStringLiteral("late");
        case Stage::Exception:
            return QStringLiteral("exception");
        case Stage::Dispatched:
            return QStringLiteral("dispatched");
        case Stage::Ignored:
        case Stage::Incomplete:
            break;
    }
    return {};
}

int TrafficRecord::damagedLines() const {
    int n = 0;
    for (const TrafficLine& l : lines)
        if (l.kind == TrafficLine::Kind::Damaged || l.kind == TrafficLine::Kind::OtherAddress)
            ++n;
    return n;
}

bool TrafficRecord::isProblem() const {
    if (!outcome.isAnswered() || sends > 1)
        return true;
    for (const TrafficLine& l : lines)
        if (l.kind != TrafficLine::Kind::Accepted)
            return true;
    return false;
}

QByteArray TrafficRecord::requestBytes() const {
    if (request.size() < 3 || !request.startsWith(':'))
        return {};
    try {
        return codec::hex2bin(request.mid(1));
    } catch (const codec::ConversionError&) {
        return {};
    }
}

void TrafficCounters::add(const TrafficRecord& r) {
    ++exchanges;
    sends += r.sends;
    retries += r.retries();
    damaged += r.damagedLines();
    switch (r.outcome.kind) {
        case Outcome::Kind::Answered:
            ++answered;
            replyMsTotal += r.waitMs;
            replyMsWorst = std::max(replyMsWorst, r.waitMs);
            break;
        case Outcome::Kind::Refused:
            ++refused;
            break;
        case Outcome::Kind::NoAnswer:
        case Outcome::Kind::Damaged:
            ++timeouts;
            break;
        case Outcome::Kind::NotSent:
            break;
    }
}

double TrafficCounters::meanReplyMs() const {
    return answered > 0 ? static_cast<double>(replyMsTotal) / static_cast<double>(answered) : 0.0;
}

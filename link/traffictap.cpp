#include "link/traffictap.h"

#include <algorithm>
#include <vector>

#include "link/replymatcher.h"

bool TrafficRing::tryPush(ExchangeEnd&& e) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= kCapacity)
        return false;
    slots_[tail % kCapacity] = std::move(e);
    tail_.store(tail + 1, std::memory_order_release);
    return true;
}

bool TrafficRing::tryPop(ExchangeEnd* e) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire))
        return false;
    *e = std::move(slots_[head % kCapacity]);
    // The slot's bytes go with the record, not with the ring.
    slots_[head % kCapacity] = ExchangeEnd();
    head_.store(head + 1, std::memory_order_release);
    return true;
}

TrafficTap::TrafficTap(QObject* parent) : QObject(parent) {
    timer_.setInterval(kDrainIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        const QList<TrafficRecord> list = drain();
        if (!list.isEmpty())
            Q_EMIT records(list);
    });
}

void TrafficTap::listen() {
    if (listeners_.fetch_add(1, std::memory_order_relaxed) == 0)
        timer_.start();
}

void TrafficTap::unlisten() {
    if (listeners_.load(std::memory_order_relaxed) <= 0)
        return;
    if (listeners_.fetch_sub(1, std::memory_order_relaxed) == 1) {
        timer_.stop();
        ExchangeEnd e;
        while (ring_.tryPop(&e)) {
        }
        direct_.clear();
        lines_.clear();
        writes_.clear();
    }
}

void TrafficTap::frameWritten() {
    if (!enabled())
        return;
    const quint64 seq = current_.load(std::memory_order_acquire);
    const qint64 now = ReplyMatcher::nowMs();
    if (!writes_.empty() && writes_.back().first == seq)
        writes_.back().second = now;
    else
        writes_.emplace_back(seq, now);
    while (static_cast<int>(writes_.size()) > kMaxPendingLines)
        writes_.pop_front();
}

quint64 TrafficTap::beginExchange() {
    const quint64 seq = nextSeq_.fetch_add(1, std::memory_order_relaxed) + 1;
    current_.store(seq, std::memory_order_release);
    return seq;
}

bool TrafficTap::publish(ExchangeEnd&& end) {
    if (ring_.tryPush(std::move(end)))
        return true;
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

void TrafficTap::publishDirect(ExchangeEnd&& end) {
    end.direct = true;
    direct_.push_back(std::move(end));
}

void TrafficTap::lineRead(FrameReader::Outcome stage, const QByteArray& line) {
    if (!enabled() || !TrafficLine::isLine(stage))
        return;
    PendingLine p;
    p.seq = current_.load(std::memory_order_acquire);
    p.line.kind = TrafficLine::kindOf(stage);
    p.line.stage = stage;
    p.line.text = line;
    p.line.atMs = ReplyMatcher::nowMs();
    lines_.push_back(std::move(p));
    while (static_cast<int>(lines_.size()) > kMaxPendingLines)
        lines_.pop_front();
}

QList<TrafficRecord> TrafficTap::drain() {
    std::vector<ExchangeEnd> ends;
    ExchangeEnd e;
    while (ring_.tryPop(&e))
        ends.push_back(std::move(e));
    for (ExchangeEnd& d : direct_)
        ends.push_back(std::move(d));
    direct_.clear();
    std::sort(ends.begin(), ends.end(),
              [](const ExchangeEnd& a, const ExchangeEnd& b) { return a.seq < b.seq; });
    QList<TrafficRecord> out;
    out.reserve(static_cast<qsizetype>(ends.size()));
    for (const ExchangeEnd& end : ends)
        out.append(join(end));
    return out;
}

TrafficRecord TrafficTap::join(const ExchangeEnd& end) {
    TrafficRecord r;
    r.seq = end.seq;
    r.time = QDateTime::fromMSecsSinceEpoch(end.wallMs);
    r.letter = end.letter;
    r.request = end.frame.trimmed();
    r.sends = end.sends;
    r.direct = end.direct;
    while (!lines_.empty() && lines_.front().seq <= end.seq) {
        r.lines.append(std::move(lines_.front().line));
        lines_.pop_front();
    }

    // The reply that ended the exchange: the last one the reader let through.
    const TrafficLine* taken = nullptr;
    int exceptionCode = 0;
    bool damaged = false;
    for (const TrafficLine& l : r.lines) {
        if (l.kind == TrafficLine::Kind::Accepted || l.kind == TrafficLine::Kind::Exception) {
            taken = &l;
            exceptionCode = 0;
            if (l.kind == TrafficLine::Kind::Exception && l.text.size() >= 7) {
                bool ok = false;
                exceptionCode = l.text.mid(5, 2).toInt(&ok, 16);
                if (!ok)
                    exceptionCode = 0;
            }
        } else if (l.kind == TrafficLine::Kind::Damaged ||
                   l.kind == TrafficLine::Kind::OtherAddress) {
            damaged = true;
        }
    }
    if (end.answered)
        r.outcome = exceptionCode != 0 ? Outcome::refused(exceptionCode) : Outcome::answered();
    else if (exceptionCode != 0)
        r.outcome = Outcome::refused(exceptionCode);
    else if (damaged)
        r.outcome = Outcome::damaged();
    else
        r.outcome = Outcome::noAnswer();

    qint64 sentAt = end.lastSendMs;
    while (!writes_.empty() && writes_.front().first <= end.seq) {
        if (writes_.front().first == end.seq && writes_.front().second >= sentAt)
            sentAt = writes_.front().second;
        writes_.pop_front();
    }
    const qint64 replyAt = taken && end.answered && taken->atMs >= sentAt ? taken->atMs : end.endMs;
    r.waitMs = std::max<qint64>(0, replyAt - sentAt);
    return r;
}

#include "link/replymatcher.h"

#include "base/bigendian.h"

#include <QSet>
#include <chrono>

namespace {
int byteAt(const QByteArray& b, int i) {
    return static_cast<quint8>(b[i]);
}
int word(const QByteArray& b, int i) {
    return be::u16At(b, i);
}
}  // namespace

qint64 ReplyMatcher::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool ReplyMatcher::couldAnswer(const QByteArray& request, const QByteArray& frame) {
    if (request.size() < 2 || frame.size() < 2)
        return false;
    if (frame[0] != request[0])
        return false;
    const int asked = byteAt(request, 1);
    const int got = byteAt(frame, 1);
    if (got & 0x80)
        return (got & 0x7F) == asked;
    if (got != asked)
        return false;
    switch (asked) {
        case 0x01:
        case 0x02:
            if (request.size() < 6 || frame.size() < 3)
                return true;
            return byteAt(frame, 2) == (word(request, 4) + 7) / 8;
        case 0x03:
        case 0x04:
            if (request.size() < 6 || frame.size() < 3)
                return true;
            return byteAt(frame, 2) == 2 * word(request, 4);
        case 0x05:
        case 0x06:
        case 0x10:
            // An echo of address, function, register and value or count.
            if (request.size() < 6 || frame.size() < 6)
                return true;
            return frame.left(6) == request.left(6);
        default:
            return true;
    }
}

void ReplyMatcher::sent(const QByteArray& request, qint64 nowMs) {
    expire(nowMs);
    lastTaken_ = 0;
    if (request != currentRequest_ || currentAnswered_) {
        ++exchange_;
        currentRequest_ = request;
        currentAnswered_ = false;
    }
    pending_.push_back(Sent{request, nowMs, exchange_});
    while (static_cast<int>(pending_.size()) > kMaxPending)
        pending_.pop_front();
    forgetAnswersNoLongerPending();
}

ReplyMatcher::Verdict ReplyMatcher::received(const QByteArray& frame, qint64 nowMs) {
    expire(nowMs);
    lastTaken_ = 0;
    Verdict verdict = Verdict::Current;
    while (!pending_.empty()) {
        const Sent s = pending_.front();
        pending_.pop_front();
        const auto answer = answers_.constFind(s.exchange);
        if (answer == answers_.cend()) {
            // The oldest send still waiting: replies come in order, so this
            // is its answer.
            answers_.insert(s.exchange, frame);
            lastTaken_ = s.exchange;
            if (s.exchange == exchange_)
                currentAnswered_ = true;
            break;
        }
        // That exchange already took its answer, so this send was a resend.
        // The same answer again is the resend's late reply; anything else
        // means the resend was never answered.
        if (couldAnswer(s.request, frame) && *answer == frame) {
            verdict = Verdict::Stale;
            break;
        }
    }
    forgetAnswersNoLongerPending();
    return verdict;
}

void ReplyMatcher::damaged(qint64 nowMs) {
    expire(nowMs);
    lastTaken_ = 0;
    if (pending_.empty())
        return;
    // A damaged reply to the exchange in progress leaves it unanswered: it is
    // sent again and that resend continues the exchange.
    pending_.pop_front();
    forgetAnswersNoLongerPending();
}

void ReplyMatcher::withdraw() {
    if (lastTaken_ == 0)
        return;
    answers_.remove(lastTaken_);
    if (lastTaken_ == exchange_)
        currentAnswered_ = false;
    lastTaken_ = 0;
}

void ReplyMatcher::reset() {
    lastTaken_ = 0;
    pending_.clear();
    answers_.clear();
    currentRequest_.clear();
    currentAnswered_ = true;
}

void ReplyMatcher::expire(qint64 nowMs) {
    while (!pending_.empty() && nowMs - pending_.front().atMs > kHorizonMs)
        pending_.pop_front();
}

void ReplyMatcher::forgetAnswersNoLongerPending() {
    if (answers_.isEmpty())
        return;
    QSet<quint64> live;
    for (const Sent& s : pending_)
        live.insert(s.exchange);
    for (auto it = answers_.begin(); it != answers_.end();) {
        if (!live.contains(it.key()))
            it = answers_.erase(it);
        else
            ++it;
    }
}

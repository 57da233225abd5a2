#include "link/replymatcher.h"

#include "link/expectedreply.h"

#include <QSet>
#include <chrono>

qint64 ReplyMatcher::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool ReplyMatcher::couldAnswer(const QByteArray& request, const QByteArray& frame) {
    return expectedReply(request).accepts(frame);
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

#include "link/exchange.h"

#include "link/codec.h"
#include "link/protocol.h"

Exchange::Exchange(ExchangeKind kind, QByteArray body)
    : kind_(kind),
      body_(std::move(body)),
      frame_(codec::componi_frame(body_)),
      expected_(expectedReply(body_)) {}

bool Exchange::isPoll() const {
    switch (kind_) {
        case ExchangeKind::Coils:
        case ExchangeKind::Inputs:
        case ExchangeKind::Status:
        case ExchangeKind::Poll:
        case ExchangeKind::Peak:
            return true;
        default:
            return false;
    }
}

int Exchange::replyWaitMs() const {
    return kReplyWaitMs + (kind_ == ExchangeKind::Write ? kWriteExtraMs : 0);
}

int Exchange::sendBudget() const {
    return (kind_ == ExchangeKind::Write || kind_ == ExchangeKind::Read) ? 4 : 2;
}

void Exchange::beginSend() {
    std::lock_guard<std::mutex> lock(mutex_);
    retryNow_ = false;
    ++sends_;
}

void Exchange::noteWritten() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++written_;
}

bool Exchange::sendSettled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return decided_ || retryNow_;
}

bool Exchange::decide(const Outcome& outcome) {
    // Caller holds the mutex.
    if (decided_)
        return false;
    decided_ = true;
    outcome_ = outcome;
    return true;
}

Outcome Exchange::fail() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (exceptionCode_ != 0)
        decide(Outcome::refused(exceptionCode_));
    else if (damagedLines_ != 0)
        decide(Outcome::damaged());
    else if (written_ == 0)
        decide(Outcome::notSent(Outcome::Reason::PortGone));
    else
        decide(Outcome::noAnswer());
    return outcome_;
}

void Exchange::cancel(Outcome::Reason why) {
    std::lock_guard<std::mutex> lock(mutex_);
    decide(Outcome::notSent(why));
    ended_ = true;
}

void Exchange::end() {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
}

bool Exchange::ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

bool Exchange::answer(const QByteArray& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!decide(Outcome::answered()))
        return false;
    reply_ = reply;
    return true;
}

bool Exchange::refuse(int code) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (decided_)
        return false;
    exceptionCode_ = code;
    if (code == proto::kIllegalValue) {
        // A refused value is final: the sender must not retry it.
        decide(Outcome::refused(code));
        return true;
    }
    return false;
}

void Exchange::damaged(bool retryNow) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (decided_)
        return;
    ++damagedLines_;
    if (retryNow)
        retryNow_ = true;
}

bool Exchange::decided() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return decided_;
}

Outcome Exchange::outcome() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcome_;
}

QByteArray Exchange::reply() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reply_;
}

QByteArray Exchange::data() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reply_.size() < 4)
        return {};
    return reply_.mid(3, reply_.size() - 4);
}

int Exchange::exceptionCode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return exceptionCode_;
}

int Exchange::damagedLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return damagedLines_;
}

int Exchange::sends() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sends_;
}

int Exchange::written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

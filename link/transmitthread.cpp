#include "link/transmitthread.h"

#include "base/bigendian.h"

#include <QDateTime>
#include <QString>
#include <chrono>

#include "base/eventlog.h"
#include "link/codec.h"
#include "link/linkstate.h"
#include "link/mainqueue.h"
#include "link/protocol.h"
#include "link/replymatcher.h"
#include "link/traffictap.h"
#include "link/transmitring.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {
QByteArray u16(int v) {
    QByteArray b;
    be::appendU16(b, static_cast<quint16>(v & 0xFFFF));
    return b;
}
}  // namespace

TThgestioneseriale::TThgestioneseriale(LinkState& state, TransmitRing& ring,
                                       std::shared_ptr<MainQueue> queue, TransmitHost* host)
    : state_(state), ring_(ring), queue_(std::move(queue)), host_(host) {
    setObjectName(QStringLiteral("Thread_TX"));
}

template <class F>
void TThgestioneseriale::onMain(F&& f) {
    queue_->post(std::forward<F>(f));
}

void TThgestioneseriale::recordSend(const Exchange& exchange) {
    const char letter = exchange.letter();
    const QByteArray& frame = exchange.frame();
    if (recording_ && (letter != recordLetter_ || frame != recordFrame_)) {
        // Something else went out before the exchange ended (a request queued
        // while a poll was being retried): the poll was given up unanswered.
        recordEnd(false);
    }
    if (!recording_) {
        if (!tap_ || !tap_->enabled())
            return;
        recording_ = true;
        recordSeq_ = tap_->beginExchange();
        recordLetter_ = letter;
        recordFrame_ = frame;
        recordSends_ = 0;
        recordWallMs_ = QDateTime::currentMSecsSinceEpoch();
    } else {
        tap_->resumeExchange(recordSeq_);
    }
    ++recordSends_;
    recordLastSendMs_ = ReplyMatcher::nowMs();
}

void TThgestioneseriale::recordEnd(bool answered) {
    if (!recording_)
        return;
    recording_ = false;
    ExchangeEnd end;
    end.seq = recordSeq_;
    end.wallMs = recordWallMs_;
    end.letter = recordLetter_;
    end.frame = std::move(recordFrame_);
    end.sends = recordSends_;
    end.lastSendMs = recordLastSendMs_;
    end.endMs = ReplyMatcher::nowMs();
    end.answered = answered;
    recordFrame_ = QByteArray();
    tap_->publish(std::move(end));
}

bool TThgestioneseriale::ended() const {
    std::lock_guard<std::mutex> lock(endMutex_);
    return ended_;
}

bool TThgestioneseriale::waitEnded(int timeoutMs) {
    std::unique_lock<std::mutex> lock(endMutex_);
    return endCv_.wait_for(lock, milliseconds(timeoutMs), [this] { return ended_; });
}

void TThgestioneseriale::run() {
    while (!state_.richiesta_stop) {
        inviacomandi();
        const auto next = Clock::now() + milliseconds(kPassGapMs);
        state_.waitUntil([this] { return state_.richiesta_stop.load(); }, next);
    }
    // An exchange left on the line ends with the thread: its waiter goes on.
    if (current_) {
        current_->fail();
        state_.clearInFlight(current_.get());
        current_->end();
        current_.reset();
    }
    recordEnd(false);
    TransmitHost* host = host_;
    onMain([host] {
        host->exchangeEnded();
        host->transmitThreadEnded();
    });
    std::lock_guard<std::mutex> lock(endMutex_);
    ended_ = true;
    endCv_.notify_all();
}

ExchangePtr TThgestioneseriale::buildPoll() {
    if (tentativi_ == 3)
        passo_poll_ = (passo_poll_ + 1) % 6;
    const char address = static_cast<char>(state_.indirizzo.load());
    QByteArray body;
    body.append(address);
    ExchangeKind kind = ExchangeKind::Poll;
    switch (passo_poll_) {
        case 1:
            kind = ExchangeKind::Coils;
            body.append(static_cast<char>(proto::kReadCoils));
            body.append(u16(0) + u16(2));
            break;
        case 3:
            kind = ExchangeKind::Inputs;
            body.append(static_cast<char>(proto::kReadInputs));
            body.append(u16(0) + u16(2));
            break;
        case 5:
            kind = ExchangeKind::Status;
            body.append(static_cast<char>(proto::kReadStatus));
            break;
        default:
            if (state_.peak_view) {
                kind = ExchangeKind::Peak;
                body.append(static_cast<char>(proto::kReadHolding));
                body.append(u16(state_.poll_x_register) + u16(1));
            } else {
                body.append(static_cast<char>(proto::kReadInputRegisters));
                body.append(u16(state_.poll_p_register) + u16(state_.poll_p_count));
            }
            break;
    }
    // A poll being retried goes again as the same exchange.
    if (current_ && current_->kind() == kind && current_->body() == body)
        return current_;
    return Exchange::make(kind, body);
}

void TThgestioneseriale::restartCycle() {
    // The signs of the live values come from the status byte: after every
    // (re)connect the cycle starts at 'E', so no live value is shown, logged
    // or charted before the status byte is known. The order of the cycle
    // stays C, P, I, P, E, P.
    passo_poll_ = 4;
}

void TThgestioneseriale::dropCurrent() {
    if (!current_)
        return;
    // Given up without a verdict of its own: nobody waits on a poll, and a
    // poll that something else replaced takes nothing offline.
    current_->fail();
    state_.clearInFlight(current_.get());
    current_->end();
    current_.reset();
}

void TThgestioneseriale::inviacomandi() {
    // A request already queued runs to its end even when the port has gone
    // meanwhile: it times out and fails as designed, instead of leaving its
    // builder waiting for ever.
    const bool pending = !ring_.empty();
    if ((!state_.porta_scelta && !pending) || state_.aggiornamento_fw || state_.ricerca ||
        (state_.modo_offline && !pending))
        return;
    if (state_.uso_esclusivo) {
        restartCycle();
        return;
    }
    TransmitHost* host = host_;

    try {
        if (state_.indirizzo == 0) {
            state_.indirizzo = 1;
            onMain([host] { host->setAddressText(QStringLiteral("1")); });
        }

        ExchangePtr exchange = ring_.front();
        // One whose builder gave up on it (the thread had gone) is not sent.
        while (exchange && exchange->ended()) {
            ring_.pop();
            exchange = ring_.front();
        }
        const bool fromRing = exchange != nullptr;
        // A (re)connect begins with the identification; the read-out after
        // it may be over before the next pass: the first poll after it is
        // the status byte all the same.
        if (exchange && exchange->kind() == ExchangeKind::Identify)
            restartCycle();
        if (!exchange && state_.online)
            exchange = buildPoll();

        if (exchange != current_)
            dropCurrent();
        if (!exchange) {
            restartCycle();
            recordEnd(false);
            onMain([host] { host->exchangeEnded(); });
            return;
        }
        current_ = exchange;

        const char letter = exchange->letter();
        if (letter != ultima_lettera_) {
            ultima_lettera_ = letter;
            tentativi_ = (letter == 'W' || letter == 'Y') ? 3 : 1;
        }

        recordSend(*exchange);
        exchange->beginSend();
        state_.setInFlight(exchange);
        onMain([host, exchange] { host->writeFrame(exchange); });

        const auto deadline = Clock::now() + milliseconds(exchange->replyWaitMs());
        state_.waitUntil(
            [this, &exchange] { return exchange->sendSettled() || state_.richiesta_stop; },
            deadline);

        // Read once: whatever arrives from here on cannot change the verdict.
        if (!exchange->decided() && tentativi_ != 0) {
            onMain([host] { host->setBusyCursor(true); });
            --tentativi_;
            if (tentativi_ < 2) {
                const QString text =
                    QStringLiteral("Status: Retry %1 C:%2").arg(2 - tentativi_).arg(QChar(letter));
                onMain([host, text] { host->setStatusText(text); });
            }
            state_.waitUntil([this] { return state_.richiesta_stop.load(); },
                             Clock::now() + milliseconds(kRetryPauseMs));
            return;
        }
        finish(exchange, fromRing);
    } catch (...) {
        // A failing pass ends silently; the next pass starts afresh.
    }
}

void TThgestioneseriale::finish(const ExchangePtr& exchange, bool fromRing) {
    TransmitHost* host = host_;
    // Decided now unless the reader decided it already; never both.
    exchange->fail();
    state_.clearInFlight(exchange.get());
    const Outcome outcome = exchange->outcome();
    const bool answered = outcome.isAnswered() || (outcome.kind == Outcome::Kind::Refused &&
                                                   outcome.exceptionCode == proto::kIllegalValue);
    recordEnd(answered);
    if (fromRing)
        ring_.pop();
    current_.reset();

    // The visible flags, from the outcome.
    const char letter = exchange->letter();
    if (answered) {
        if (state_.parametri_caricati)
            onMain([host] { host->stopRecover(); });
    } else {
        if (!exchange->isPoll() && exchange->kind() != ExchangeKind::Identify)
            EventLog::log(QStringLiteral("Errore: Ricezione CMD:") + QChar(letter) +
                          QStringLiteral(" Data:") +
                          QString::fromLatin1(codec::hex_dump(state_.ultimaRichiesta())));
        state_.stato_link = 2;
        if (exchange->isPoll()) {
            state_.online = false;
            onMain([host] { host->refreshPresentation(); });
            onMain([host] { host->startRecover(); });
            state_.parametri_caricati = false;
        }
    }
    tentativi_ = 3;
    exchange->end();
    onMain([host] {
        host->setBusyCursor(false);
        host->exchangeEnded();
    });
}

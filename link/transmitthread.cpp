#include "link/transmitthread.h"

#include "base/bigendian.h"

#include <QDateTime>
#include <QString>
#include <chrono>

#include "base/eventlog.h"
#include "link/codec.h"
#include "link/linkstate.h"
#include "link/mainqueue.h"
#include "link/replymatcher.h"
#include "link/traffictap.h"
#include "link/transmitring.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {
bool isPoll(char letter) {
    return letter == 'P' || letter == 'C' || letter == 'I' || letter == 'E' || letter == 'X';
}

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

void TThgestioneseriale::recordSend(char letter, const QByteArray& frame) {
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
        state_.tx_occupato = false;
        const auto next = Clock::now() + milliseconds(kPassGapMs);
        state_.waitUntil([this] { return state_.richiesta_stop.load(); }, next);
    }
    state_.tipocomando = 0;
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

bool TThgestioneseriale::buildPoll(char* letter, QByteArray* body) {
    if (tentativi_ == 3)
        passo_poll_ = (passo_poll_ + 1) % 6;
    const char address = static_cast<char>(state_.indirizzo.load());
    body->clear();
    body->append(address);
    switch (passo_poll_) {
        case 1:
            *letter = 'C';
            body->append('\x01');
            body->append(u16(0) + u16(2));
            break;
        case 3:
            *letter = 'I';
            body->append('\x02');
            body->append(u16(0) + u16(2));
            break;
        case 5:
            *letter = 'E';
            body->append('\x07');
            break;
        default:
            if (state_.peak_view) {
                *letter = 'X';
                body->append('\x03');
                body->append(u16(state_.poll_x_register) + u16(1));
            } else {
                *letter = 'P';
                body->append('\x04');
                body->append(u16(state_.poll_p_register) + u16(state_.poll_p_count));
            }
            break;
    }
    return true;
}

void TThgestioneseriale::inviacomandi() {
    // A request already queued runs to its end even when the port has gone
    // meanwhile: it times out and fails as designed, instead of leaving its
    // builder waiting for ever.
    const bool pending = !ring_.empty();
    if ((!state_.porta_scelta && !pending) || state_.aggiornamento_fw ||
        state_.tipocomando == 'S' || (state_.modo_offline && !pending))
        return;
    state_.tx_occupato = true;
    if (state_.uso_esclusivo)
        return;
    TransmitHost* host = host_;

    try {
        if (state_.indirizzo == 0) {
            state_.indirizzo = 1;
            onMain([host] { host->setAddressText(QStringLiteral("1")); });
        }

        char letter = 0;
        QByteArray body;
        if (ring_.front(&letter, &body)) {
            slot_preso_ = true;
            if (letter == 'W')
                state_.timeout_extra = kWriteExtraMs;
        } else if (state_.online) {
            buildPoll(&letter, &body);
        }

        if (letter == 0 || body.isEmpty()) {
            recordEnd(false);
            state_.tipocomando = 0;
            state_.timeout_extra = 0;
            // Only an idle ring ends a builder's wait. The builder lock stays
            // with the builder, which always releases it itself.
            ring_.finishIfIdle(state_.tx_finito);
            onMain([host] { host->exchangeEnded(); });
            return;
        }

        state_.tipocomando = letter;
        if (letter != ultima_lettera_) {
            ultima_lettera_ = letter;
            tentativi_ = (letter == 'W' || letter == 'Y') ? 3 : 1;
        }

        const QByteArray frame = codec::componi_frame(body);
        recordSend(letter, frame);
        state_.risposta_ok = 0;
        onMain([host, frame] { host->writeFrame(frame); });

        const auto deadline = Clock::now() + milliseconds(kReplyWaitMs + state_.timeout_extra);
        state_.waitUntil([this] { return state_.risposta_ok != 0 || state_.richiesta_stop; },
                         deadline);

        if (state_.risposta_ok != 1 && tentativi_ != 0) {
            onMain([host] { host->setBusyCursor(true); });
            --tentativi_;
            state_.tx_occupato = false;
            if (tentativi_ < 2) {
                const QString text =
                    QStringLiteral("Status: Retry %1 C:%2").arg(2 - tentativi_).arg(QChar(letter));
                onMain([host, text] { host->setStatusText(text); });
            }
            state_.waitUntil([this] { return state_.richiesta_stop.load(); },
                             Clock::now() + milliseconds(kRetryPauseMs));
            return;
        }

        recordEnd(state_.risposta_ok == 1);
        const bool fromRing = slot_preso_;
        if (slot_preso_) {
            slot_preso_ = false;
            ring_.pop();
        }
        if (state_.risposta_ok == 1) {
            if (state_.parametri_caricati)
                onMain([host] { host->stopRecover(); });
            else
                state_.tipocomando = 0;
        } else {
            if (!isPoll(letter) && letter != 'V')
                EventLog::log(QStringLiteral("Errore: Ricezione CMD:") + QChar(letter) +
                              QStringLiteral(" Data:") +
                              QString::fromLatin1(codec::hex_dump(state_.ultimaRichiesta())));
            state_.stato_link = 2;
            if (isPoll(letter)) {
                state_.online = false;
                onMain([host] { host->refreshPresentation(); });
                onMain([host] { host->startRecover(); });
                state_.parametri_caricati = false;
            }
        }
        if (isPoll(letter))
            state_.tipocomando = 0;
        state_.timeout_extra = 0;
        // The end of a poll is not the end of a request queued while it ran.
        if (fromRing)
            state_.tx_finito = true;
        else
            ring_.finishIfIdle(state_.tx_finito);
        tentativi_ = 3;
        onMain([host] {
            host->setBusyCursor(false);
            host->exchangeEnded();
        });
    } catch (...) {
        // A failing pass ends silently; the next pass starts afresh.
    }
}

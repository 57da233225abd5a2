#pragma once

#include <QByteArray>
#include <QMutex>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// The flags and values through which the main thread, the transmit thread
// and the reply dispatcher coordinate. Every flag is atomic: the transmit
// thread polls what the main thread writes and the other way round.
struct LinkState {
    // Letter of the exchange in progress ('C','I','E','P','X','Y','W','V','S'), 0 for none.
    std::atomic<char> tipocomando{0};
    // 1 when an accepted reply ended the exchange; cleared before every send.
    // kDamagedReply when a reply failed its checksum: the exchange is retried
    // at once instead of waiting out its timeout.
    std::atomic<int> risposta_ok{0};
    static constexpr int kDamagedReply = -1;
    std::atomic<bool> tx_occupato{false};
    // The last queued request's exchange has ended. Set at start so that a
    // builder that queued nothing does not wait.
    std::atomic<bool> tx_finito{true};
    std::atomic<bool> canale_occupato{false};
    std::atomic<bool> online{false};
    std::atomic<bool> parametri_caricati{false};
    std::atomic<int> indirizzo{1};
    std::atomic<int> timeout_extra{0};
    // 0 ready, 1 answered, 2 failed, 3 value refused.
    std::atomic<int> stato_link{0};
    std::atomic<bool> richiesta_stop{false};
    std::atomic<bool> uso_esclusivo{false};
    std::atomic<bool> aggiornamento_fw{false};
    std::atomic<bool> modo_offline{false};
    std::atomic<bool> porta_chiusa{false};
    // Mirrors fdati.porta != "NO" for the transmit thread, which must not read
    // the settings record.
    std::atomic<bool> porta_scelta{false};

    // What the exchange in progress met besides its answer, for the
    // builder's outcome: the code of the last exception reply (0 for none)
    // and a count of damaged lines. The builder clears the code before it
    // queues; the reader and the dispatcher set them.
    std::atomic<int> exceptionCode{0};
    std::atomic<int> damagedLines{0};

    // Display mode Peak: the poll cycle reads 'X' instead of 'P'.
    std::atomic<bool> peak_view{false};
    // Poll geometry of the definition in use, published by the main thread
    // whenever a definition loads, so the transmit thread never reads the
    // parameter table.
    std::atomic<int> poll_p_register{0};
    std::atomic<int> poll_p_count{0};
    std::atomic<int> poll_x_register{0};

    // Stores the reply flag and wakes a thread waiting on it.
    void setRisposta(int value) {
        risposta_ok = value;
        notify();
    }
    void requestStop() {
        richiesta_stop = true;
        notify();
    }
    // Wakes waitUntil() so it re-checks its predicate.
    void notify() {
        { std::lock_guard<std::mutex> lock(wakeMutex_); }
        wake_.notify_all();
    }
    template <class Predicate>
    bool waitUntil(Predicate pred, std::chrono::steady_clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(wakeMutex_);
        return wake_.wait_until(lock, deadline, pred);
    }

    QByteArray ultimaRichiesta() const {
        QMutexLocker lock(&mutex_);
        return ultima_richiesta_;
    }
    void setUltimaRichiesta(const QByteArray& frame) {
        QMutexLocker lock(&mutex_);
        ultima_richiesta_ = frame;
    }

private:
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    mutable QMutex mutex_;
    QByteArray ultima_richiesta_;
};

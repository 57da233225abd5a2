#pragma once

#include <QByteArray>
#include <QMutex>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "link/exchange.h"

// The link's visible state: what the window, the logs and the pages show or
// decide on. Threads do not coordinate through it: every request is an
// Exchange that carries its own reply and outcome; the only shared pointer is
// the exchange on the line, which the frame reader answers.
struct LinkState {
    // Builder lock: one request builder at a time.
    std::atomic<bool> canale_occupato{false};
    std::atomic<bool> online{false};
    std::atomic<bool> parametri_caricati{false};
    std::atomic<int> indirizzo{1};
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

    // A search holds the line: the thread sends nothing and nothing is
    // queued.
    std::atomic<bool> ricerca{false};

    // Display mode Peak: the poll cycle reads 'X' instead of 'P'.
    std::atomic<bool> peak_view{false};
    // Poll geometry of the definition in use, published by the main thread
    // whenever a definition loads, so the transmit thread never reads the
    // parameter table.
    std::atomic<int> poll_p_register{0};
    std::atomic<int> poll_p_count{0};
    std::atomic<int> poll_x_register{0};

    // The exchange on the line, whose replies the frame reader checks; null
    // between exchanges.
    ExchangePtr inFlight() const {
        std::lock_guard<std::mutex> lock(flightMutex_);
        return inFlight_;
    }
    void setInFlight(ExchangePtr exchange) {
        std::lock_guard<std::mutex> lock(flightMutex_);
        inFlight_ = std::move(exchange);
    }
    // Clears it when it still is that exchange.
    void clearInFlight(const Exchange* exchange) {
        std::lock_guard<std::mutex> lock(flightMutex_);
        if (inFlight_.get() == exchange)
            inFlight_.reset();
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
    mutable std::mutex flightMutex_;
    ExchangePtr inFlight_;
    mutable QMutex mutex_;
    QByteArray ultima_richiesta_;
};

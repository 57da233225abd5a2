#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <random>

// Faults the link must survive, produced on request. "Every N" counts
// replies (the Nth, 2Nth... reply is hit); "silent after N" counts request
// frames addressed to the instrument.
struct FaultOptions {
    bool silent = false;
    int silentAfter = -1;  // <0: never
    int corruptLrcEvery = 0;
    int wrongAddressEvery = 0;
    int exception3Register = -1;  // <0: none
    int delayMs = 0;
    int garbageEvery = 0;
    bool splitReplies = false;
};

class FaultInjector {
public:
    // Pause between the pieces of a split reply, long enough for a reader
    // to see each piece as a packet of its own.
    static constexpr int kSplitGapMs = 30;

    explicit FaultInjector(FaultOptions options = FaultOptions(), quint32 seed = 1);
    const FaultOptions& options() const { return options_; }
    // The control channel's "silent on|off": the instrument stops or resumes answering.
    void setSilent(bool silent) { options_.silent = silent; }
    // The control channel's "delay <ms>": later replies are held back so long.
    void setDelayMs(int ms) { options_.delayMs = ms; }
    // The control channel's "exception3 <register>|off": from now on requests
    // touching that register are refused (a negative register: none).
    void setException3Register(int reg) { options_.exception3Register = reg; }

    // Counts one request frame addressed to the instrument; true when it
    // must go unanswered.
    bool silences();
    // True when the request (0x03, 0x04, 0x06, 0x10) touches the register
    // that --exception3-on-register names.
    bool refuses(const QByteArray& body) const;

    struct Delivery {
        QList<QByteArray> pieces;  // wire bytes, sent with kSplitGapMs between them
        QStringList faults;        // names of the faults applied, for the traffic log
    };
    // The wire form of a reply body with this reply's faults applied.
    Delivery deliver(const QByteArray& replyBody);

private:
    FaultOptions options_;
    std::mt19937 rng_;
    qint64 frames_ = 0;
    qint64 replies_ = 0;
};

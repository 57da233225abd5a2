#pragma once

#include <QString>

// How one request ended, as its builder reports it. Kept apart: the
// instrument's own refusal (an exception code), a line that never answered,
// replies that arrived damaged, and a request that never went out.
struct Outcome {
    enum class Kind {
        Answered,  // an accepted reply ended the exchange
        Refused,   // the instrument answered with an exception code
        NoAnswer,  // every send went unanswered
        Damaged,   // replies arrived, but none passed the reader's checks
        NotSent,   // nothing went on the wire
    };
    enum class Reason {
        None,
        Offline,     // no instrument online, or offline mode
        LockHeld,    // another builder holds the line
        NoRegister,  // the entry has register 0, or its value cannot be sent
        PortGone,    // no port chosen, or the port has gone away
    };

    Kind kind = Kind::NotSent;
    int exceptionCode = 0;  // Refused only
    Reason reason = Reason::None;

    static Outcome answered() { return {Kind::Answered, 0, Reason::None}; }
    static Outcome refused(int code) { return {Kind::Refused, code, Reason::None}; }
    static Outcome noAnswer() { return {Kind::NoAnswer, 0, Reason::None}; }
    static Outcome damaged() { return {Kind::Damaged, 0, Reason::None}; }
    static Outcome notSent(Reason why) { return {Kind::NotSent, 0, why}; }

    bool isAnswered() const { return kind == Kind::Answered; }
    bool wasSent() const { return kind != Kind::NotSent; }
    bool operator==(const Outcome&) const = default;

    // One line for logs and the command line: "answered", "refused (code 3)".
    QString text() const;
};

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include "link/framereader.h"
#include "link/outcome.h"

// One reply line as the reader met it while an exchange was on the line.
struct TrafficLine {
    enum class Kind {
        Accepted,      // passed every check and went to the dispatcher
        Exception,     // an exception reply, checks passed
        Damaged,       // failed a check of the reader: see stage
        Late,          // the repeat of an earlier send's answer, dropped
        OtherAddress,  // from an address that is not the instrument's
    };

    Kind kind = Kind::Accepted;
    FrameReader::Outcome stage = FrameReader::Outcome::Dispatched;
    QByteArray text;  // the line as it came, ":" to the LRC, without CR LF
    qint64 atMs = 0;  // steady clock (ReplyMatcher::nowMs)

    // Which complete lines are lines at all: Ignored and Incomplete are not.
    static bool isLine(FrameReader::Outcome stage);
    static Kind kindOf(FrameReader::Outcome stage);
    // "accepted", "damaged" ...: fixed words for files and the command line.
    static QString kindName(Kind kind);
    // The reader check that stopped the line: "checksum", "short" ...
    static QString stageName(FrameReader::Outcome stage);
};

// One exchange: a request and its resends, every line that arrived while it
// was on the line, and how it ended.
struct TrafficRecord {
    quint64 seq = 0;
    QDateTime time;      // wall clock of the first send
    char letter = 0;     // the kind of the exchange (its letter)
    QByteArray request;  // the frame sent, ":" to the LRC, without CR LF
    int sends = 0;
    // From the last send to the accepted reply, or to the end of the wait.
    qint64 waitMs = 0;
    Outcome outcome;  // Answered, Refused, NoAnswer or Damaged
    QList<TrafficLine> lines;
    // Sent by the main thread itself (a direct send), not by the transmit thread.
    bool direct = false;

    int retries() const { return sends > 0 ? sends - 1 : 0; }
    int damagedLines() const;
    // Anything a technician chasing a flaky line wants to see: a resend, a
    // line that was not accepted, or an exchange that did not end answered.
    bool isProblem() const;
    // The request's bytes (address, function, data, LRC); empty when the
    // frame is not hexadecimal.
    QByteArray requestBytes() const;
};

// Running totals over records, for the window's counters and the command
// line's summary.
struct TrafficCounters {
    qint64 exchanges = 0;
    qint64 sends = 0;
    qint64 retries = 0;
    qint64 damaged = 0;  // damaged lines
    qint64 refused = 0;
    qint64 timeouts = 0;  // exchanges that ended without an answer
    qint64 answered = 0;
    qint64 replyMsTotal = 0;
    qint64 replyMsWorst = 0;

    void add(const TrafficRecord& r);
    // Mean reply time of the answered exchanges; 0 when none.
    double meanReplyMs() const;
};

#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "link/trafficrecord.h"

class ParameterTable;

// One entry of the definition that a request's registers cover.
struct TrafficEntry {
    int index = -1;
    QString name;
    int role = -1;  // -1: the entry has no role
    // Value texts as the parameter table holds them. oldValue is what the
    // program knew before the exchange (empty when unknown); newValue what
    // the exchange carried: the reply's bytes for a read, the request's for
    // a write (empty when it carried none, as after a refused read).
    QString oldValue;
    QString newValue;
};

// A record read against the definition in use.
struct DecodedTraffic {
    QString meaning;  // what the letter and function stand for: "poll: live values"
    int function = -1;
    int reg = -1;   // first register, -1 when the function has none
    int count = 0;  // registers (or bits) asked for
    QList<TrafficEntry> entries;
    QString command;  // a write to the command register: "Save (0x20)"
    QString value;    // what a reply without entries said: "inputs 01"

    // The entries and command as one line: "SETP1 (role 3): 100 → 250".
    QString details() const;
};

// Reads records in the order they happened and keeps the last value text
// it saw on the wire for every entry, so that a write shows the value it
// replaced. Starts from the values the table holds when it is made: make
// one when a monitor opens, before its first record.
class TrafficDecoder {
public:
    explicit TrafficDecoder(const ParameterTable& table);

    DecodedTraffic decode(const TrafficRecord& record);

    static QString letterMeaning(char letter);
    // The instrument command a code stands for, "Command 0x42" for others.
    static QString commandName(int code);

    // The record and its decoding as one JSON object (velmora-cli trace --json).
    static QJsonObject toJson(const TrafficRecord& record, const DecodedTraffic& decoded);
    // The same as one text line.
    static QString toText(const TrafficRecord& record, const DecodedTraffic& decoded);
    // "answered", "refused (code 3)", "no answer after 2 sends", "damaged (2 sends)".
    static QString outcomeText(const TrafficRecord& record);

private:
    void seed();
    // Entries of setup/data/calibration whose registers (from base) overlap
    // [reg, reg + count).
    struct Covered {
        int index;
        int delta;  // registers from the request's first register to the entry's
    };
    void cover(int first, int end, int base, int reg, int count, QList<Covered>* out) const;
    QString knownValue(int index) const;

    const ParameterTable& table_;
    QString seededPath_;
    int seededEntries_ = -1;
    QHash<int, QString> known_;
};

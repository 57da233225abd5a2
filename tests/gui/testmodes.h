#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QtTest>

#include "device/paramtable.h"
#include "support/simprocess.h"

// What the simulator saw written, for the tests of the test modes: every
// write request (coil, single register, several registers) after a mark in
// its traffic file, as function, register and first value.
struct SeenWrite {
    int function = 0;
    int reg = -1;
    qint64 value = 0;
    bool operator==(const SeenWrite&) const = default;
};

inline char* toString(const SeenWrite& w) {
    return qstrdup(QByteArray("fn ") + QByteArray::number(w.function) + " reg " +
                   QByteArray::number(w.reg) + " = " + QByteArray::number(w.value));
}

inline int lastSeq(const SimProcess& sim) {
    int seq = 0;
    for (const QJsonObject& r : sim.traffic())
        seq = std::max(seq, r.value(QStringLiteral("seq")).toInt());
    return seq;
}

inline QList<SeenWrite> writesAfter(const SimProcess& sim, int mark) {
    QList<SeenWrite> out;
    for (const QJsonObject& r : sim.traffic()) {
        const int fn = r.value(QStringLiteral("function")).toInt();
        if (r.value(QStringLiteral("seq")).toInt() <= mark || (fn != 5 && fn != 6 && fn != 16))
            continue;
        const QJsonArray values = r.value(QStringLiteral("values")).toArray();
        qint64 v = values.isEmpty() ? -1 : values.at(0).toInteger();
        if (fn == 16 && values.size() == 2)
            v = (v << 16) | values.at(1).toInteger();
        out.append({fn, r.value(QStringLiteral("register")).toInt(-1), v});
    }
    return out;
}

// The holding register of a setup role in the definition in use.
inline int registerOfRole(const ParameterTable& t, int role) {
    return t.entry(t.entryOfRole(role)).regOffset + t.setupBase;
}

// Every write (single or block) the simulator saw to one register: the
// first value and the exception it answered with (0: accepted).
struct RegisterWrite {
    int value = -1;
    int exception = 0;
};

inline QList<RegisterWrite> writesToRegister(const SimProcess& sim, int reg) {
    QList<RegisterWrite> out;
    for (const QJsonObject& o : sim.traffic()) {
        const int fn = o.value(QStringLiteral("function")).toInt();
        if ((fn != 0x06 && fn != 0x10) || o.value(QStringLiteral("register")).toInt(-1) != reg)
            continue;
        RegisterWrite w;
        w.value = o.value(QStringLiteral("values")).toArray().at(0).toInt(-1);
        w.exception = o.value(QStringLiteral("exception")).toInt(0);
        out << w;
    }
    return out;
}

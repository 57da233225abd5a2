#pragma once

#include <QComboBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QList>

#include "device/paramtable.h"
#include "support/simprocess.h"

// What the simulator saw after a mark, for the configuration page tests
// that share one simulator: every check looks only at the traffic of its
// own action.
struct PageTraffic {
    SimProcess* sim = nullptr;
    int mark = 0;

    void setMark() {
        mark = 0;
        for (const QJsonObject& r : sim->traffic())
            mark = std::max(mark, r.value(QStringLiteral("seq")).toInt());
    }
    QList<QJsonObject> since() const {
        QList<QJsonObject> out;
        for (const QJsonObject& r : sim->traffic())
            if (r.value(QStringLiteral("seq")).toInt() > mark)
                out << r;
        return out;
    }
    // Values written (function 6 or 16) to a register since the mark.
    QList<int> writesTo(int reg) const {
        QList<int> out;
        for (const QJsonObject& r : since()) {
            const int f = r.value(QStringLiteral("function")).toInt();
            if ((f == 6 || f == 16) && r.value(QStringLiteral("register")).toInt(-1) == reg)
                out << r.value(QStringLiteral("values")).toArray().first().toInt();
        }
        return out;
    }
    int readsOf(int reg) const {
        int n = 0;
        for (const QJsonObject& r : since())
            if (r.value(QStringLiteral("function")).toInt() == 3 &&
                r.value(QStringLiteral("register")).toInt(-1) == reg)
                ++n;
        return n;
    }
    int writes() const {
        int n = 0;
        for (const QJsonObject& r : since()) {
            const int f = r.value(QStringLiteral("function")).toInt();
            n += f == 6 || f == 16 || f == 5;
        }
        return n;
    }
};

inline int registerOfRole(const ParameterTable& t, int role) {
    return t.entry(t.entryOfRole(role)).regOffset + t.setupBase;
}

// As the technician does it: pick an item, or type a text and leave.
inline void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}
inline void typeAndLeave(QLineEdit* field, const QString& text) {
    field->setText(text);
    field->setModified(true);
    Q_EMIT field->editingFinished();
}

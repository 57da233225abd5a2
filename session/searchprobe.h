#pragma once

#include <QObject>
#include <QStringList>

class Session;

// The instrument search's probe loop: one read of the data base register at
// every address from 1 to 127, sent directly on the port while the transmit
// thread stays silent ('S'), stopping after 11 instruments or on STOP.
class SearchProbe : public QObject {
    Q_OBJECT
public:
    static constexpr int kLastAddress = 127;
    static constexpr int kMostFound = 11;

    explicit SearchProbe(Session& session, QObject* parent = nullptr)
        : QObject(parent), s_(session) {}

    // The CBBaud items; the timeout per address is 400 / (index + 1) ms.
    static QStringList speedItems();
    // Timeout for a speed text; a text not in the list is treated as 9600.
    static int timeoutForSpeed(const QString& speed);

    // btsearchClick: starts a run, or stops the running one (which ends after
    // the address being probed). Returns the addresses found.
    QList<int> btsearchClick(const QString& speed);
    bool ricerca_attiva() const { return ricerca_attiva_; }
    int trovati() const { return trovati_; }

Q_SIGNALS:
    void probing(int address);
    void found(int number, int address);
    void finished(const QList<int>& addresses);

private:
    Session& s_;
    bool ricerca_attiva_ = false;
    int trovati_ = 0;
};

#include "session/searchprobe.h"

#include "session/requests.h"
#include "session/session.h"

QStringList SearchProbe::speedItems() {
    return {QStringLiteral("1200"),  QStringLiteral("2400"),  QStringLiteral("4800"),
            QStringLiteral("9600"),  QStringLiteral("19200"), QStringLiteral("28800"),
            QStringLiteral("38400"), QStringLiteral("57600"), QStringLiteral("115200")};
}

int SearchProbe::timeoutForSpeed(const QString& speed) {
    qsizetype index = speedItems().indexOf(speed.toUpper());
    if (index < 0)
        index = speedItems().indexOf(QStringLiteral("9600"));
    return static_cast<int>(400 / (index + 1));
}

QList<int> SearchProbe::btsearchClick(const QString& speed) {
    QList<int> addresses;
    if (ricerca_attiva_) {
        ricerca_attiva_ = false;
        return addresses;
    }
    if (s_.settings().porta == QLatin1String("NO"))
        return addresses;
    LinkState& link = s_.link();
    // The line is ours from here: the thread sends nothing and nothing is
    // queued until the search ends.
    link.ricerca = true;
    s_.waitUntil([&link] { return !link.inFlight(); }, 500);
    ricerca_attiva_ = true;
    const int timeout = timeoutForSpeed(speed);
    s_.view().setBusyCursor(true);
    trovati_ = 0;
    for (int address = 1; address <= kLastAddress; ++address) {
        Q_EMIT probing(address);
        const ExchangePtr probe =
            Exchange::make(ExchangeKind::Probe, s_.requests().probeBody(address));
        if (s_.port().isOpen() && !link.modo_offline) {
            link.setUltimaRichiesta(probe->frame());
            link.setInFlight(probe);
            probe->beginSend();
            if (s_.port().write(probe->frame()))
                probe->noteWritten();
            s_.waitUntil([&probe] { return probe->decided(); }, timeout);
            link.clearInFlight(probe.get());
        }
        // The application closing ends the run too: the line is going away.
        if (!ricerca_attiva_ || link.richiesta_stop)
            break;
        if (probe->outcome().isAnswered()) {
            // The reply's own address: a late reply from the address probed
            // before is that address's, never this one's.
            const int from = static_cast<quint8>(probe->reply().at(0));
            if (!addresses.contains(from)) {
                addresses.append(from);
                ++trovati_;
                Q_EMIT found(trovati_, from);
                if (trovati_ >= kMostFound)
                    break;
            }
        }
    }
    link.ricerca = false;
    s_.view().setBusyCursor(false);
    ricerca_attiva_ = false;
    Q_EMIT finished(addresses);
    return addresses;
}

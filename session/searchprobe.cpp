#include "session/searchprobe.h"

#include "session/session.h"
#include "link/codec.h"
#include "session/requests.h"

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
    s_.waitUntil([&link] { return link.tipocomando == 0; }, 500);
    ricerca_attiva_ = true;
    const int timeout = timeoutForSpeed(speed);
    s_.view().setBusyCursor(true);
    trovati_ = 0;
    for (int address = 1; address <= kLastAddress; ++address) {
        Q_EMIT probing(address);
        link.risposta_ok = 0;
        const QByteArray body = s_.requests().probeBody(address);
        link.tipocomando = 'S';
        if (s_.port().isOpen() && !link.modo_offline) {
            const QByteArray frame = codec::componi_frame(body);
            link.setUltimaRichiesta(frame);
            link.risposta_ok = 0;
            s_.port().write(frame);
            s_.waitUntil([&link] { return link.risposta_ok != 0; }, timeout);
        }
        // The application closing ends the run too: the line is going away.
        if (!ricerca_attiva_ || link.richiesta_stop)
            break;
        if (link.risposta_ok == 1) {
            addresses.append(address);
            ++trovati_;
            Q_EMIT found(trovati_, address);
            if (trovati_ >= kMostFound)
                break;
        }
    }
    link.tipocomando = 0;
    s_.view().setBusyCursor(false);
    ricerca_attiva_ = false;
    Q_EMIT finished(addresses);
    return addresses;
}

#pragma once

#include <QByteArray>
#include <QHash>
#include <optional>

#include "link/exchange.h"
#include "link/outcome.h"

class Session;

// The request builders. Each takes the builder lock first and returns at once
// when the link is offline or another builder holds it. Each returns how its
// own exchange ended.
class Requests {
public:
    explicit Requests(Session& session) : s_(session) {}

    Outcome leggi_parametro(int indice, bool diretto);
    Outcome leggi_parametro_esteso(int indice);
    Outcome scrivi_parametro(int indice);
    Outcome scrivi_parametro_blocco(int indice);
    Outcome invia_comando(quint8 codice);
    Outcome scrivi_uscita(int uscita, quint16 valore);

    // Bodies, for the builders above, the connect procedure and the search.
    QByteArray identificationBody() const;
    QByteArray probeBody(int address) const;
    static int readCount(quint8 type);
    static int writeCount(quint8 type);

    // How the last read of an entry went when it brought no value (the entry
    // then shows as unknown); nullopt when its value is the instrument's.
    std::optional<Outcome> unread(int indice) const;

private:
    QByteArray head(quint8 function) const;
    // Stores the read's reply into the image at the entry's place; false
    // when the exchange brought no data of that size.
    bool storeReply(int indice, int count, const Exchange& exchange);
    // A read that brought no value: the entry shows as unknown, never the
    // value an earlier instrument or read left in the image.
    void forget(int indice, const Outcome& why);
    // The register of the command role; logs and returns -1 when the
    // definition in use has none.
    int commandRegister() const;
    // Why a builder could not take the line.
    Outcome refusedLock() const;
    void decodeAndShow(int indice, bool show);
    bool valueToSend(int indice, qint64* value) const;

    Session& s_;
    QHash<int, Outcome> unread_;
};

#pragma once

#include <QByteArray>

class Session;

// The request builders. Each takes the builder lock first and returns at once
// when the link is offline or another builder holds it; callers read the
// outcome from risposta_ok afterwards.
class Requests {
public:
    explicit Requests(Session& session) : s_(session) {}

    void leggi_parametro(int indice, bool diretto);
    void leggi_parametro_esteso(int indice);
    void scrivi_parametro(int indice);
    void scrivi_parametro_blocco(int indice);
    void invia_comando(quint8 codice);
    void scrivi_uscita(int uscita, quint16 valore);

    // Bodies, for the builders above, the connect procedure and the search.
    QByteArray identificationBody() const;
    QByteArray probeBody(int address) const;
    static int readCount(quint8 type);
    static int writeCount(quint8 type);

private:
    QByteArray head(quint8 function) const;
    // Stores dati_rx into the image at the entry's place when it is the
    // answer to this read; never bytes of an earlier reply.
    bool storeReply(int indice, int count);
    void decodeAndShow(int indice, bool show);
    bool valueToSend(int indice, qint64* value) const;

    Session& s_;
};

#include "session/writepath.h"

#include <QLocale>

#include "device/decoding.h"
#include "base/eventlog.h"
#include "session/session.h"
#include "base/texts.h"
#include "session/requests.h"

void WritePath::forceWrite(int role, const QString& text) {
    ParameterTable& t = s_.table();
    // Any stored text that differs from the new one makes the write go out;
    // "0" does, unless the new value is zero itself.
    const int index = t.findRole(role);
    if (index >= 0) {
        const std::optional<double> v = parseReal(text);
        t.entry(index).value = (v && *v == 0.0) ? QStringLiteral("1") : QStringLiteral("0");
    }
    write(role, text);
}

void WritePath::write(int role, const QString& text) {
    if (text.isEmpty())
        return;
    ParameterTable& t = s_.table();
    LinkState& link = s_.link();
    // A role the definition in use does not hold has no entry: writing it
    // would land on whatever entry the role map last named.
    const int index = t.findRole(role);
    if (index < 0) {
        EventLog::log(QStringLiteral("Errore: aggiorna_valore - ruolo %1 assente").arg(role));
        return;
    }
    ParamEntry& e = t.entry(index);
    bool counts = false;
    bool failed = false;

    const QLocale c = QLocale::c();
    bool okNew = false;
    const double newValue = c.toDouble(text.trimmed(), &okNew);
    if (!e.value.isEmpty()) {
        bool okOld = false;
        const double oldValue = c.toDouble(e.value.trimmed(), &okOld);
        if (!okNew || !okOld) {
            failed = true;
        } else if (oldValue == newValue) {
            return;
        } else {
            counts = !s_.outputTest && !s_.analogTest;
        }
    }

    if (!failed) {
        e.value = text;
        const EncodedValue encoded = encodeValue(e.type, text);
        if (!encoded.ok) {
            failed = true;
        } else if (!encoded.bytes.isEmpty()) {
            for (int k = 0; k < encoded.bytes.size(); ++k)
                t.writeImageByte(e.imagePos + k, static_cast<quint8>(encoded.bytes[k]));
            s_.requests().scrivi_parametro(index);
        }
    }
    if (failed) {
        EventLog::log(QStringLiteral("Errore: aggiorna_valore - numero non valido(") + text +
                      QLatin1Char(')'));
        s_.view().domanda(tr_("Invalid number!"), 1);
    }
    if (link.risposta_ok == 1 && counts && link.stato_link != 3)
        s_.setUnsaved(true);
}

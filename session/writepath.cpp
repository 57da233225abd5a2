#include "session/writepath.h"

#include <QLocale>
#include <exception>

#include "base/eventlog.h"
#include "base/texts.h"
#include "device/decoding.h"
#include "session/requests.h"
#include "session/session.h"

Outcome WritePath::forceWrite(int role, const QString& text) {
    return writeEntry(role, text, true);
}

Outcome WritePath::write(int role, const QString& text) {
    return writeEntry(role, text, false);
}

Outcome WritePath::writeEntry(int role, const QString& text, bool force) {
    if (text.isEmpty())
        return Outcome::notSent(Outcome::Reason::None);
    ParameterTable& t = s_.table();
    // A role the definition in use does not hold has no entry: writing it
    // would land on whatever entry the role map last named.
    const int index = t.findRole(role);
    if (index < 0) {
        EventLog::log(QStringLiteral("Errore: aggiorna_valore - ruolo %1 assente").arg(role));
        return Outcome::notSent(Outcome::Reason::NoRegister);
    }
    ParamEntry& e = t.entry(index);
    bool counts = false;
    bool failed = false;

    const QLocale c = QLocale::c();
    bool okNew = false;
    const double newValue = c.toDouble(text.trimmed(), &okNew);
    if (force) {
        // A forced write always differs from what the table holds.
        counts = !s_.outputTest && !s_.analogTest;
        failed = !okNew;
    } else if (e.value.isEmpty()) {
        // Unknown (its read was refused or unanswered): never "unchanged".
        counts = !s_.outputTest && !s_.analogTest;
    } else {
        bool okOld = false;
        const double oldValue = c.toDouble(e.value.trimmed(), &okOld);
        if (!okNew || !okOld) {
            failed = true;
        } else if (oldValue == newValue) {
            return Outcome::notSent(Outcome::Reason::None);
        } else {
            counts = !s_.outputTest && !s_.analogTest;
        }
    }

    Outcome outcome = Outcome::notSent(Outcome::Reason::NoRegister);
    if (!failed) {
        const QString oldText = e.value;
        const int size = ParameterTable::typeSize(e.type);
        const QByteArray oldBytes = t.image().mid(e.imagePos, size);
        e.value = text;
        const EncodedValue encoded = encodeValue(e.type, text);
        if (!encoded.ok) {
            failed = true;
        } else if (!encoded.bytes.isEmpty()) {
            for (int k = 0; k < encoded.bytes.size(); ++k)
                t.writeImageByte(e.imagePos + k, static_cast<quint8>(encoded.bytes[k]));
            outcome = s_.requests().scrivi_parametro(index);
            const bool lineHeld = outcome.kind == Outcome::Kind::NotSent &&
                                  outcome.reason == Outcome::Reason::LockHeld;
            if ((outcome.wasSent() && !outcome.isAnswered()) || lineHeld) {
                // The instrument still holds the old value: so must the table,
                // or the pages show a value it never took and writing the same
                // value again would be skipped.
                ParamEntry& restored = t.entry(index);
                restored.value = oldText;
                for (int k = 0; k < oldBytes.size(); ++k)
                    t.writeImageByte(restored.imagePos + k, static_cast<quint8>(oldBytes[k]));
                try {
                    s_.decoder().showEntry(index);
                } catch (const std::exception& ex) {
                    EventLog::log(QStringLiteral("Errore: aggiorna_valore - ") +
                                  QString::fromLocal8Bit(ex.what()));
                }
                s_.flushControls();
            }
        }
    }
    if (failed) {
        EventLog::log(QStringLiteral("Errore: aggiorna_valore - numero non valido(") + text +
                      QLatin1Char(')'));
        s_.view().domanda(tr_("Invalid number!"), 1);
    }
    if (outcome.isAnswered() && counts)
        s_.setUnsaved(true);
    return outcome;
}

#include "services/backupservice.h"

#include <QElapsedTimer>

#include "session/session.h"
#include "base/texts.h"
#include "session/writepath.h"
#include "session/requests.h"
#include "services/backupfile.h"

bool BackupService::ask(const QString& question) {
    if (askContinue)
        return askContinue(question);
    return s_.view().domanda(question, 0);
}

void BackupService::setProgress(int position, int maximum) {
    if (progress)
        progress(position, maximum);
}

void BackupService::readCalibration() {
    ParameterTable& t = s_.table();
    const int nCal = t.calibrationCount();
    const int first = t.count(1);
    calibrationComplete = true;
    if (nCal > 0) {
        setProgress(0, nCal);
        int k = 0;
        int failures = 0;
        // Every calibration entry but the last, as the instrument expects.
        while (k < nCal - 1) {
            s_.requests().leggi_parametro_esteso(first + k);
            if (s_.link().risposta_ok == 1) {
                failures = 0;
                ++k;
            } else if (++failures > 3) {
                calibrationComplete = false;
                break;
            }
            setProgress(k, nCal);
        }
        s_.view().setBusyCursor(false);
        s_.setUnsaved(false);
    }
    s_.link().setUltimaRichiesta(QByteArray());
    setProgress(0, -1);
    s_.mySleep(200);
    s_.link().tipocomando = 0;
}

bool BackupService::backup(const QString& path, QString* error) {
    readCalibration();
    ParameterTable& t = s_.table();
    const QByteArray bytes = BackupFile::makeBackupImage(t);
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("The parameter image is larger than a backup file can hold.");
        return false;
    }
    return BackupFile::writeBackupFile(path, bytes, error);
}

bool BackupService::restore(const QString& path, bool confirmed, QString* error) {
    ParameterTable& t = s_.table();
    const BackupFile::LoadResult r = BackupFile::loadBackupFile(path, t);
    if (r.status != BackupFile::LoadResult::Loaded) {
        if (error)
            *error = r.error;
        return false;
    }
    s_.publishPollGeometry();
    LinkState& link = s_.link();
    if (!link.modo_offline && !confirmed)
        return true;  // the image keeps the file's values
    s_.display().commAddress = link.indirizzo;
    for (int i = 0; i < t.entryCount(); ++i)
        s_.decoder().decodeEntry(i);
    if (!link.online || link.modo_offline) {
        try {
            s_.decoder().showSetupEntries();
        } catch (const std::exception&) {
            // A value the pages cannot show stays in the image; the rest is shown.
        }
    } else {
        writeAll(true);
    }
    s_.decoder().refreshDecimals();
    s_.controls().publish(ControlUpdate::setEnabled(QStringLiteral("BtBackup"), true));
    s_.view().setSendButtonOrange();
    s_.flushControls();
    return true;
}

bool BackupService::writeAll(bool confirmed) {
    ParameterTable& t = s_.table();
    LinkState& link = s_.link();
    if (t.imageSize() == 0)
        return false;
    if (!confirmed && !ask(tr_("Are you sure to write data on instrument?")))
        return false;
    bool complete = true;
    s_.view().setBusyCursor(true);
    setProgress(0, 100);
    const int nSetup = t.setupCount();
    const int nCal = t.calibrationCount();
    const int firstCal = t.count(1);
    bool ok = false;
    const bool calibration =
        t.entry(ParameterTable::kCalibrationFlagEntry).value.toLongLong(&ok) != 0 && ok;
    const int total = std::max(1, calibration ? nSetup + nCal : nSetup);

    for (int p = 0; p < nSetup;) {
        s_.requests().scrivi_parametro_blocco(p);
        if (link.risposta_ok == 1) {
            try {
                s_.decoder().showEntry(p);
            } catch (const std::exception&) {
            }
            s_.flushControls();
            if (s_.display().commAddress > 0)
                link.indirizzo = s_.display().commAddress;
            ++p;
        } else if (!ask(tr_("Communication error, continue?") + QLatin1Char(' ') + t.entry(p).name +
                        QLatin1Char('=') + t.entry(p).value)) {
            setProgress(0, -1);
            complete = false;
            break;
        }
        setProgress(100 * p / total, 100);
    }

    s_.requests().scrivi_parametro_blocco(0);
    QElapsedTimer sinceEntry0;
    sinceEntry0.start();
    s_.mySleep(200);

    if (calibration) {
        for (int q = 0; q < nCal;) {
            s_.requests().scrivi_parametro_blocco(firstCal + q);
            if (link.risposta_ok == 1) {
                ++q;
            } else if (!ask(tr_("Communication error, continue?"))) {
                // A yes above retries this same entry, never the one before it.
                setProgress(0, -1);
                complete = false;
                break;
            }
            setProgress(100 * (nSetup + q) / total, 100);
        }
        s_.requests().invia_comando(0x30);
        s_.mySleep(static_cast<int>(std::max<qint64>(0, 2000 - sinceEntry0.elapsed())));
    }

    s_.view().setBusyCursor(false);
    link.timeout_extra = 3000;
    s_.requests().invia_comando(0x20);
    s_.setUnsaved(false);
    setProgress(0, -1);
    writeAllComplete = complete;
    return complete;
}

bool BackupService::factoryReset(const QString& code) {
    LinkState& link = s_.link();
    if (link.canale_occupato)
        return false;
    s_.writePath().forceWrite(7, code);
    bool sent = false;
    if (link.risposta_ok == 1 && link.stato_link != 3) {
        s_.requests().invia_comando(0x18);
        sent = link.risposta_ok == 1;
    }
    link.parametri_caricati = false;
    return sent;
}

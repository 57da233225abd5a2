#include "services/backupservice.h"

#include <QElapsedTimer>

#include "base/eventlog.h"
#include "base/texts.h"
#include "link/protocol.h"
#include "services/backupfile.h"
#include "session/requests.h"
#include "session/session.h"
#include "session/writepath.h"

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
    unreadCalibration.clear();
    if (nCal > 0) {
        setProgress(0, nCal);
        int k = 0;
        int failures = 0;
        // No instrument (offline): the file holds the image as it stands.
        const bool instrument = s_.link().online && !s_.link().modo_offline;
        // Every calibration entry but the last, as the instrument expects.
        while (instrument && k < nCal - 1) {
            const Outcome read = s_.requests().leggi_parametro_esteso(first + k);
            if (read.isAnswered()) {
                failures = 0;
                ++k;
            } else if (++failures > 3) {
                calibrationComplete = false;
                for (int u = k; u < nCal - 1; ++u)
                    unreadCalibration.append(t.entry(first + u).name);
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
}

bool BackupService::backup(const QString& path, QString* error) {
    readCalibration();
    // A file that claims to be this instrument's calibration and is not is
    // worse than none.
    if (!calibrationComplete) {
        if (error)
            *error = tr_("The instrument did not answer; these calibration entries could not be "
                         "read: %1. No file was written.")
                         .arg(unreadCalibration.join(QStringLiteral(", ")));
        return false;
    }
    ParameterTable& t = s_.table();
    const QByteArray bytes = BackupFile::makeBackupImage(t);
    if (bytes.isEmpty()) {
        if (error)
            *error = tr_("The parameter image is larger than a backup file can hold.");
        return false;
    }
    return BackupFile::writeBackupFile(path, bytes, error);
}

bool BackupService::restore(const QString& path, bool confirmed, QString* error) {
    ParameterTable& t = s_.table();
    LinkState& link = s_.link();
    const bool instrument = link.online && !link.modo_offline;
    // Loaded on a copy: the table takes the file only once the restore goes
    // ahead, so a "No" leaves the instrument's values for the next backup.
    ParameterTable loaded = t;
    const BackupFile::LoadResult r = BackupFile::loadBackupFile(
        path, loaded, instrument ? BackupFile::Target::Instrument : BackupFile::Target::Anything);
    if (r.status != BackupFile::LoadResult::Loaded) {
        if (error)
            *error = r.error;
        return false;
    }
    if (!link.modo_offline && !(confirmRestore ? confirmRestore() : confirmed))
        return true;  // nothing changed, nothing sent
    // The live values went on with the polls while the question was open.
    t = std::move(loaded);
    s_.publishPollGeometry();
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
        if (s_.requests().scrivi_parametro_blocco(p).isAnswered()) {
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
            if (s_.requests().scrivi_parametro_blocco(firstCal + q).isAnswered()) {
                ++q;
            } else if (!ask(tr_("Communication error, continue?"))) {
                // A yes above retries this same entry, never the one before it.
                setProgress(0, -1);
                complete = false;
                break;
            }
            setProgress(100 * (nSetup + q) / total, 100);
        }
        s_.requests().invia_comando(proto::kCmdCalibrationRestored);
        s_.mySleep(static_cast<int>(std::max<qint64>(0, 2000 - sinceEntry0.elapsed())));
    }

    s_.view().setBusyCursor(false);
    s_.requests().invia_comando(proto::kCmdSave);
    s_.setUnsaved(false);
    setProgress(0, -1);
    writeAllComplete = complete;
    return complete;
}

BackupService::ResetResult BackupService::factoryReset(const QString& typed) {
    if (s_.link().canale_occupato)
        return ResetResult::Busy;
    bool ok = false;
    const qint64 code = typed.trimmed().toLongLong(&ok, 10);
    if (!ok) {
        EventLog::log(QStringLiteral("Errore: Reset - codice non valido(") + typed +
                      QLatin1Char(')'));
        return ResetResult::NotANumber;
    }
    // The comparison is numeric, so leading zeros match; a wrong code does
    // nothing and says nothing.
    if (code != kResetCode)
        return ResetResult::WrongCode;
    return resetWith(typed.trimmed());
}

BackupService::ResetResult BackupService::factoryReset() {
    if (s_.link().canale_occupato)
        return ResetResult::Busy;
    return resetWith(QString::number(kResetCode));
}

BackupService::ResetResult BackupService::resetWith(const QString& code) {
    LinkState& link = s_.link();
    ResetResult result = ResetResult::NotAcknowledged;
    // The typed text, not the code, is what reaches the command argument.
    if (s_.writePath().forceWrite(7, code).isAnswered() &&
        s_.requests().invia_comando(proto::kCmdFactoryReset).isAnswered())
        result = ResetResult::Reset;
    link.parametri_caricati = false;
    return result;
}

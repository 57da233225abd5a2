// backup, restore, diff: the window's backup and restore sequences, with the
// file put in place only when the whole backup succeeded.
#include <stdio.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <cerrno>

#include "app/cli/clicommands.h"
#include "app/cli/clilink.h"
#include "app/cli/cliparams.h"
#include "app/cli/cliterminal.h"
#include "device/decoding.h"
#include "device/paramtable.h"
#include "services/backupfile.h"
#include "services/backupservice.h"

namespace {

// A file that is removed unless the command keeps it.
class TempFile {
public:
    explicit TempFile(QString path) : path_(std::move(path)) { QFile::remove(path_); }
    ~TempFile() {
        if (!kept_)
            QFile::remove(path_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const QString& path() const { return path_; }
    void keep() { kept_ = true; }

private:
    QString path_;
    bool kept_ = false;
};

// What the calibration read reached, from the service's progress reports.
struct CalibrationRead {
    int entries = 0;  // size of the calibration section
    int reached = 0;  // entries read in a row from the first
    // Every entry but the last is read; the last is left to the instrument.
    bool complete() const { return entries <= 1 || reached >= entries - 1; }
};

void hookCalibrationRead(BackupService& service, CalibrationRead& read, ProgressBar& bar) {
    service.progress = [&read, &bar](int position, int maximum) {
        if (maximum < 0) {
            bar.finish();
            return;
        }
        read.entries = maximum;
        read.reached = std::max(read.reached, position);
        bar.set(position, maximum);
    };
}

CliError unansweredCalibration(Session& s, const CalibrationRead& read, const QString& outcome) {
    const ParameterTable& t = s.table();
    const int index = t.count(1) + read.reached;
    return {
        kExitInstrument,
        QStringLiteral("the instrument did not answer calibration entry %1 after four "
                       "attempts; %2")
            .arg(index < t.entryCount() ? t.entry(index).name : QString::number(index), outcome)};
}

QString absolutePath(const QString& operand) {
    return QFileInfo(operand).absoluteFilePath();
}

// A backup file the command is about to write: its folder must take it.
void checkWritable(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        throw CliError{kExitFile, QStringLiteral("cannot write %1: it is a folder").arg(path)};
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        throw CliError{kExitFile, QStringLiteral("cannot write %1: the folder %2 does not exist")
                                      .arg(path, folder.filePath())};
    if (!folder.isWritable())
        throw CliError{kExitFile, QStringLiteral("cannot write %1: the folder %2 is not writable")
                                      .arg(path, folder.filePath())};
}

void checkExists(const QString& path) {
    if (!QFileInfo(path).isFile())
        throw CliError{kExitFile,
                       QStringLiteral("%1: file not found").arg(QFileInfo(path).fileName())};
}

// The file loaded into a copy of the table, as a restore would load it;
// throws the file's refusal.
ParameterTable checkedBackup(const ParameterTable& inUse, const QString& path) {
    ParameterTable copy = inUse;
    const BackupFile::LoadResult r = BackupFile::loadBackupFile(path, copy);
    if (r.status != BackupFile::LoadResult::Loaded)
        throw CliError{kExitFile, r.error};
    return copy;
}

}  // namespace

int CliCommands::backup(const CliOptions& o, const CliOutput& out) {
    const QString path = absolutePath(o.args.at(0));
    checkWritable(path);
    if (QFileInfo::exists(path) && !o.yes) {
        switch (CliTerminal::ask(path + QStringLiteral(": File exist, overwrite it?"))) {
            case CliTerminal::Answer::Yes:
                break;
            case CliTerminal::Answer::No:
                out.note(QStringLiteral("Nothing read; %1 left as it was.").arg(path));
                return kExitOk;
            case CliTerminal::Answer::NoAnswer:
                if (CliSignals::interrupted())
                    throw CliError{kExitInterrupted, QStringLiteral("interrupted")};
                throw CliError{kExitUsage,
                               QStringLiteral("%1 exists: pass --yes to overwrite it").arg(path)};
        }
    }

    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();

    // Written beside the target and renamed over it only when whole, so an
    // interrupted or failed backup never replaces a good file.
    TempFile temp(QFileInfo(path).absolutePath() + QStringLiteral("/.") +
                  QFileInfo(path).fileName() +
                  QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid()));
    BackupService service(s);
    CalibrationRead read;
    ProgressBar bar(out, QStringLiteral("Reading calibration"));
    hookCalibrationRead(service, read, bar);
    QString error;
    const bool written = service.backup(temp.path(), &error);
    bar.finish();
    link.throwIfAborted(QStringLiteral("during the backup; no file written"));
    if (!service.calibrationComplete)
        throw unansweredCalibration(s, read, QStringLiteral("no file written"));
    if (!written)
        throw CliError{kExitFile, error};
    if (::rename(QFile::encodeName(temp.path()).constData(), QFile::encodeName(path).constData()) !=
        0)
        throw CliError{kExitFile,
                       QStringLiteral("cannot write %1: %2").arg(path, qt_error_string(errno))};
    temp.keep();

    QJsonObject doc;
    doc.insert(QStringLiteral("file"), path);
    doc.insert(QStringLiteral("definitionVersion"), s.table().definitionVersion);
    doc.insert(QStringLiteral("bytes"), BackupFile::kFileSize);
    doc.insert(QStringLiteral("calibrationEntriesRead"), read.reached);
    out.document(doc);
    if (!o.quiet)
        out.line(QStringLiteral("Backup written to %1 (definition %2)")
                     .arg(path, s.table().definitionVersion));
    return kExitOk;
}

int CliCommands::restore(const CliOptions& o, const CliOutput& out) {
    const QString path = absolutePath(o.args.at(0));
    checkExists(path);

    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();
    const QString instrumentVersion = s.table().definitionVersion;
    const ParameterTable loaded = checkedBackup(s.table(), path);
    if (loaded.definitionVersion != instrumentVersion)
        out.warn(QStringLiteral("%1 is read with definition %2; the instrument identified as %3")
                     .arg(QFileInfo(path).fileName(), loaded.definitionVersion, instrumentVersion));

    if (!o.yes) {
        switch (
            CliTerminal::ask(QStringLiteral("Are you sure to restore the file: %1 ?").arg(path))) {
            case CliTerminal::Answer::Yes:
                break;
            case CliTerminal::Answer::No:
                out.note(QStringLiteral("Restore cancelled; nothing was sent."));
                return kExitOk;
            case CliTerminal::Answer::NoAnswer:
                link.throwIfAborted(QStringLiteral("before the restore; nothing was sent"));
                throw CliError{kExitUsage,
                               QStringLiteral("restore asks before it writes: answer on the "
                                              "terminal, or pass --yes")};
        }
    }
    link.throwIfAborted(QStringLiteral("before the restore; nothing was sent"));

    BackupService service(s);
    ProgressBar bar(out, QStringLiteral("Restoring"));
    service.progress = [&bar](int position, int maximum) { bar.set(position, maximum); };
    QString abandonedAt;
    service.askContinue = [&](const QString& question) {
        // A cut link cannot answer a retry; never ask about it.
        if (link.aborted())
            return false;
        bar.finish();
        if (o.yes) {
            out.warn(question + QStringLiteral(": aborting that group of entries (--yes)"));
        } else if (CliTerminal::ask(question) == CliTerminal::Answer::Yes) {
            return true;
        }
        abandonedAt = question;
        return false;
    };
    QString error;
    const bool loadedOk = service.restore(path, true, &error);
    bar.finish();
    if (!loadedOk)
        throw CliError{kExitFile, error};
    link.throwIfAborted(
        QStringLiteral("during the restore; the instrument holds a partly written parameter set "
                       "that was not saved"));

    const ParameterTable& t = s.table();
    bool ok = false;
    const bool calibration =
        t.entry(ParameterTable::kCalibrationFlagEntry).value.toLongLong(&ok) != 0 && ok;
    QJsonObject doc;
    doc.insert(QStringLiteral("file"), path);
    doc.insert(QStringLiteral("definitionVersion"), t.definitionVersion);
    doc.insert(QStringLiteral("setupEntries"), t.setupCount());
    doc.insert(QStringLiteral("calibrationEntries"), calibration ? t.calibrationCount() : 0);
    doc.insert(QStringLiteral("complete"), abandonedAt.isEmpty());
    if (!abandonedAt.isEmpty())
        throw CliError{kExitInstrument,
                       QStringLiteral("restore incomplete: after \"%1\" the remaining entries of "
                                      "that group were not written; the instrument saved the rest")
                           .arg(abandonedAt),
                       doc};
    out.document(doc);
    if (!o.quiet)
        out.line(
            QStringLiteral("Restored %1: %2 setup entries%3 written and saved")
                .arg(path)
                .arg(t.setupCount())
                .arg(calibration
                         ? QStringLiteral(" and %1 calibration entries").arg(t.calibrationCount())
                         : QString()));
    return kExitOk;
}

int CliCommands::diff(const CliOptions& o, const CliOutput& out) {
    const QString path = absolutePath(o.args.at(0));
    checkExists(path);

    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();
    const ParameterTable& inst = s.table();

    // A file a restore would refuse is refused here too, with its message.
    checkedBackup(inst, path);
    // The file decoded with the definition its own tag names, so that each
    // name means what it meant when the file was written.
    ParameterTable file;
    const BackupFile::LoadResult r =
        BackupFile::loadBackupFile(path, file, BackupFile::Target::Anything);
    if (r.status != BackupFile::LoadResult::Loaded)
        throw CliError{kExitFile, r.error};
    DisplayState fileDisplay;
    ControlModel fileControls;
    Decoder fileDecoder(file, fileDisplay, fileControls);
    for (int i = 0; i < file.entryCount(); ++i)
        fileDecoder.decodeEntry(i);

    // The instrument's calibration section, read as a backup reads it.
    QTemporaryDir scratch;
    BackupService service(s);
    CalibrationRead read;
    ProgressBar bar(out, QStringLiteral("Reading calibration"));
    hookCalibrationRead(service, read, bar);
    QString error;
    const bool readOk = scratch.isValid() &&
                        service.backup(scratch.filePath(QStringLiteral("instrument.mem")), &error);
    bar.finish();
    link.throwIfAborted(QStringLiteral("while the calibration section was read"));
    if (!scratch.isValid())
        throw CliError{kExitFile, QStringLiteral("no temporary folder for the comparison")};
    if (!service.calibrationComplete)
        throw unansweredCalibration(s, read, QStringLiteral("nothing compared"));
    if (!readOk)
        throw CliError{kExitFile, error};

    struct Value {
        QString section;
        QString text;
        quint32 role;
    };
    auto collect = [](const ParameterTable& t, bool skipLastCalibration) {
        QList<std::pair<QString, Value>> list;
        for (int i = 0; i < t.entryCount(); ++i) {
            if (i >= t.count(0) && i < t.count(1))
                continue;  // live values
            // The backup's read leaves the last calibration entry to the instrument.
            if (skipLastCalibration && i == t.entryCount() - 1 && t.calibrationCount() > 0)
                continue;
            list.append({t.entry(i).name,
                         {i < t.count(0) ? QStringLiteral("setup") : QStringLiteral("calibration"),
                          t.entry(i).value, t.entry(i).role}});
        }
        return list;
    };
    const auto fromFile = collect(file, true);
    const auto fromInst = collect(inst, true);
    auto find = [](const QList<std::pair<QString, Value>>& list, const QString& name) {
        for (const auto& [n, v] : list)
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                return &v;
        return static_cast<const Value*>(nullptr);
    };

    QJsonArray differences;
    QJsonArray onlyInFile;
    QJsonArray onlyInInstrument;
    QList<QStringList> rows;
    int compared = 0;
    for (const auto& [name, v] : fromFile) {
        const Value* other = find(fromInst, name);
        if (!other) {
            onlyInFile.append(name);
            rows.append(
                {name, v.section, CliParams::shown(s, v.role, v.text), QStringLiteral("-")});
            continue;
        }
        ++compared;
        const auto a = parseReal(v.text);
        const auto b = parseReal(other->text);
        const bool same = (a && b) ? *a == *b : v.text == other->text;
        if (same)
            continue;
        QJsonObject d;
        d.insert(QStringLiteral("name"), name);
        d.insert(QStringLiteral("section"), v.section);
        d.insert(QStringLiteral("file"), v.text);
        d.insert(QStringLiteral("instrument"), other->text);
        d.insert(QStringLiteral("fileShown"), CliParams::shown(s, v.role, v.text));
        d.insert(QStringLiteral("instrumentShown"), CliParams::shown(s, other->role, other->text));
        differences.append(d);
        rows.append({name, v.section, CliParams::shown(s, v.role, v.text),
                     CliParams::shown(s, other->role, other->text)});
    }
    for (const auto& [name, v] : fromInst) {
        if (!find(fromFile, name)) {
            onlyInInstrument.append(name);
            rows.append(
                {name, v.section, QStringLiteral("-"), CliParams::shown(s, v.role, v.text)});
        }
    }

    const bool identical = rows.isEmpty();
    QJsonObject doc;
    doc.insert(QStringLiteral("file"), path);
    doc.insert(QStringLiteral("fileVersion"), file.definitionVersion);
    doc.insert(QStringLiteral("instrumentVersion"), inst.definitionVersion);
    doc.insert(QStringLiteral("compared"), compared);
    doc.insert(QStringLiteral("differences"), differences);
    doc.insert(QStringLiteral("onlyInFile"), onlyInFile);
    doc.insert(QStringLiteral("onlyInInstrument"), onlyInInstrument);
    doc.insert(QStringLiteral("identical"), identical);
    out.document(doc);

    if (file.definitionVersion != inst.definitionVersion)
        out.note(QStringLiteral("The file is for definition %1, the instrument uses %2; entries "
                                "are compared by name.")
                     .arg(file.definitionVersion, inst.definitionVersion));
    if (identical) {
        out.line(QStringLiteral("No differences: %1 entries compared.").arg(compared));
    } else {
        out.table({QStringLiteral("NAME"), QStringLiteral("SECTION"), QStringLiteral("FILE"),
                   QStringLiteral("INSTRUMENT")},
                  rows);
    }
    // As diff(1) does, so a script can tell the two apart without parsing.
    constexpr int kExitDiffer = 1;
    return identical ? kExitOk : kExitDiffer;
}

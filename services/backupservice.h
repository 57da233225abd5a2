#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Session;

// Backup, restore, write-all and factory reset over the link: the sequences
// behind the "Backup / Restore" page, shared by the window and the CLI.
class BackupService {
public:
    static constexpr int kResetCode = 30817;

    explicit BackupService(Session& session) : s_(session) {}

    // Barg: visible with a maximum, advanced, hidden (maximum -1).
    std::function<void(int position, int maximum)> progress;
    // "Communication error, continue?" with the entry's name and value for
    // setup entries; true goes on. Defaults to the question box.
    std::function<bool(const QString& question)> askContinue;

    // The restore's own question, asked once the file is checked and before
    // anything is changed, shown or sent (never in offline mode); false
    // changes nothing and sends nothing. When unset, restore()'s `confirmed`
    // answers it.
    std::function<bool()> confirmRestore;

    // Outcome of the last backup's calibration read and the last write-all:
    // false when an entry went unanswered four times, or a group was abandoned.
    bool calibrationComplete = true;
    bool writeAllComplete = true;
    // Names of the calibration entries the last backup could not read.
    QStringList unreadCalibration;

    // Reads the calibration section with up to four attempts per entry and
    // writes the backup file. False with *error when an entry went
    // unanswered (nothing written) or the file could not be written (the old
    // file, if any, stays whole). Offline, the image is written as it stands.
    bool backup(const QString& path, QString* error);
    // Loads the file into the image once confirmed (offline mode asks
    // nothing) and, when online, writes everything to the instrument.
    // Online, a file of another model is refused. Returns false with *error
    // when the file was refused (image unchanged, nothing sent).
    bool restore(const QString& path, bool confirmed, QString* error);
    // The write-all sequence; `confirmed` skips its own question. Returns
    // false when a group of entries was abandoned.
    bool writeAll(bool confirmed);
    enum class ResetResult {
        Reset,            // the code and command 0x18 were both acknowledged
        NotAcknowledged,  // the code or the command went unsent or unanswered
        WrongCode,        // a number that is not the reset code: nothing sent
        NotANumber,       // logged; nothing sent
        Busy,             // another request builder holds the line
    };
    // The page's Reset: the typed password is compared with the reset code as
    // a number; when it matches, the typed text is written to role 7 and,
    // when acknowledged, command 0x18 follows.
    ResetResult factoryReset(const QString& typed);
    // The factory page's Reset: the reset code itself, with no password.
    ResetResult factoryReset();

private:
    void readCalibration();
    ResetResult resetWith(const QString& code);
    bool ask(const QString& question);
    void setProgress(int position, int maximum);

    Session& s_;
};

#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Where the program's files are. Two folders, which are one and the same
// unless the program is installed:
// - the program folder (path(), file()): the technician's own files,
//   ISetup.dat, logfile.txt, logfile.bak, Cal_log.txt and definitions
//   added to Config/;
// - the shipped folder (shipped()): what the program ships and only reads,
//   the definitions in Config/, language files and flags, Manual/, Driver/,
//   AvrProg/, Update.
// --home or VELMORA_HOME names one folder for both. Otherwise the
// executable's folder is both while the program may write there (a build
// tree, a copied folder); an installed program (binaries in <prefix>/bin,
// shipped files in <prefix>/share/velmora) keeps its own files in
// $XDG_DATA_HOME/velmora, created on first use.
namespace ProgramFolder {

QString path();
void setPath(const QString& folder);
// Absolute path of a file or folder inside the program folder.
QString file(const QString& relative);
// Absolute path of a file or folder the program ships and only reads.
QString shipped(const QString& relative);
QString shippedPath();
// The definition file of that name (e.g. "DATV1218.def"): one the
// technician put in the program folder's Config/ wins over the shipped one.
// When neither exists, the program folder's, where one would be added.
QString definition(const QString& fileName);
// The folders in use with what each holds, for the about box and
// velmora-cli info: one row while both are the same folder.
QList<QPair<QString, QString>> foldersInUse();

// The rules, apart from the process so that they can be checked.
struct Folders {
    QString home;
    QString shipped;
    bool installed = false;
};
// `executableDir` is the executable's folder, `writable` whether this user
// may write there, `dataFolder` the per-user folder an installed program uses.
Folders locate(const QString& executableDir, bool writable, const QString& dataFolder);
// $XDG_DATA_HOME/velmora, or ~/.local/share/velmora when XDG_DATA_HOME is
// unset or not an absolute path.
QString userDataFolder();
// Uses these folders from now on; an installed program's own folder (and its
// Config/) is created here. False, with the reason, when that fails.
bool use(const Folders& folders, QString* error = nullptr);

}  // namespace ProgramFolder

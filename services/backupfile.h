#pragma once

#include <QByteArray>
#include <QString>

class ParameterTable;

// The ".mem" backup file: always 384 bytes.
//   0..S-1    the parameter image (S at most 256)
//   S..255    0xFF
//   256..259  "PDAT"
//   260..261  definition version characters 1-2
//   262..265  "REL "
//   266..267  definition version characters 3-4
//   268..383  0xFF
namespace BackupFile {

constexpr int kFileSize = 384;
constexpr int kImageRoom = 256;
constexpr int kTagEnd = 268;  // a file must reach past the version tag

// The file's bytes for an image and a definition version ("1218" when the
// version is empty). Empty when the image is larger than the 256 bytes the
// layout has room for: the tag would overwrite it.
QByteArray makeBackupImage(const QByteArray& image, const QString& version);
// The image bytes of the definition in use (the table may hold a spare byte
// past them), tagged with the version of the definition whose layout they
// follow (layoutVersion).
QByteArray makeBackupImage(const ParameterTable& table);
// The version of the definition file the table was read from ("0000" for the
// offline definition, "1217" when 1218 fell back to it); the table's version
// when its path names none.
QString layoutVersion(const ParameterTable& table);

// Writes through a temporary file renamed over the target, so a failure
// leaves the old file whole. False with *error set when nothing was written.
bool writeBackupFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// The definition version a file names (bytes 260, 261, 266, 267); empty for
// a file too short to hold the tag.
QString versionOfBackup(const QByteArray& bytes);

struct LoadResult {
    enum Status {
        Loaded,
        NotFound,       // no such file
        Unreadable,     // exists, cannot be opened or read
        TooShort,       // shorter than the tag, or than the image it must fill
        BadTag,         // the tag does not name a definition version
        BadDefinition,  // the definition it needs does not load
        Foreign,        // another program's file, or a layout the one in use cannot hold
    };
    Status status = NotFound;
    QString error;         // one sentence for the user or the log; empty when loaded
    QString version;       // the file's tag
    QString versionInUse;  // definition version after the load
    int imageBytes = 0;    // bytes copied into the image
};

// Whose definition the table holds when a file is loaded into it.
enum class Target {
    Instrument,  // a connected instrument's: its layout must take the file
    Anything,    // no instrument (offline mode, or a file read on its own)
};

// Loads a backup file into the table: the definition the file names is
// loaded (falling back to lower releases) and becomes the one in use; the
// first S bytes of the file become the image. For an instrument, a file of
// another program, or one whose definition has more setup entries than the
// one in use (whose layout the instrument's cannot hold), is refused as
// Foreign: its bytes would land on other registers. Every check runs before
// the table is touched: a refused file leaves the image, the definition and
// the version in use exactly as they were.
LoadResult loadBackupFile(const QString& path, ParameterTable& table,
                          Target target = Target::Instrument);

}  // namespace BackupFile

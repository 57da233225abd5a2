#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>

// One parameter of the instrument as described by its definition file.
struct ParamEntry {
    QString name;
    quint8 type = 0;       // 1 u8, 2 u16, 3 s16, 4 u32, 5 s32, 6 IEEE single; 0,7,8,9 no bytes
    qint32 imagePos = 0;   // first byte in the parameter image
    qint32 regOffset = 0;  // register offset from its section's base
    QString value;         // current value as decimal text; empty until first set
    quint32 role = 82;     // the program's meaning of the entry; 82 = none
};

// What an identification reply (model P, release R) selects.
struct DefinitionChoice {
    QString modelCode;  // "05", "99", "64" (hex from 100 on)
    QString caption;    // "Progr.05 Rel.1.2"
    QString version;    // model code + last two decimal digits of the release
    QString path;       // <program folder>/Config/DATV<version>.def
};

DefinitionChoice chooseDefinition(int model, int release);
QString offlineDefinitionPath();

// The parameter table, section totals, base registers, role map and the
// parameter image of the definition in use.
class ParameterTable {
public:
    static constexpr int kMaxEntries = 301;
    static constexpr quint32 kNoRole = 82;
    static constexpr int kRoleCount = 82;
    static constexpr int kSections = 3;
    static constexpr int kCalibrationFlagEntry = 59;
    static constexpr const char* kDefaultVersion = "1218";

    struct LoadResult {
        bool ok = true;
        QString error;  // one sentence, for the log and the caller
        QString path;   // the file actually read (after any fallback)
    };

    ParameterTable();

    // Loads a definition, falling back to lower releases of the same program
    // and then to Config/DATV0000.def when the file is missing. On a format
    // error the entries read so far stay and the error is returned.
    LoadResult loadDefinition(const QString& path);
    // The file loadDefinition would read for this path, or empty when even
    // the offline definition is missing.
    static QString resolveDefinitionPath(const QString& path);

    ParamEntry& entry(int index) { return entries_.at(static_cast<size_t>(index)); }
    const ParamEntry& entry(int index) const { return entries_.at(static_cast<size_t>(index)); }
    // The role map names entries of the definition in use only: every load
    // rebuilds it, so a role never leads to an entry of an earlier definition.
    // Index of the entry holding a role; kAbsent when the definition in use
    // does not hold it (entry(kAbsent) throws, so an absent role never
    // lands on another entry).
    static constexpr int kAbsent = -1;
    int entryOfRole(int role) const;
    // The same: the entry of a role, else kAbsent.
    int findRole(int role) const;

    // Cumulative totals: count(j) entries and bytes(j) image bytes up to the
    // end of section j (0 setup, 1 data, 2 calibration).
    int count(int slot) const { return counts_.at(static_cast<size_t>(slot)); }
    int bytes(int slot) const { return bytes_.at(static_cast<size_t>(slot)); }
    void clearByteTotals();
    int setupCount() const { return count(0); }
    int dataCount() const { return count(1) - count(0); }
    int calibrationCount() const { return count(2) - count(1); }
    int entryCount() const { return count(2); }

    qint32 setupBase = 0;
    qint32 calibrationBase = 0x6000;
    qint32 dataBase = 0;

    // Single-byte image access; a position outside the image throws
    // std::out_of_range.
    quint8 readImageByte(int position) const;
    void writeImageByte(int position, quint8 value);
    const QByteArray& image() const { return image_; }
    int imageSize() const { return static_cast<int>(image_.size()); }
    // Replaces image bytes from position 0; the image keeps its size.
    void copyIntoImage(const QByteArray& bytes);
    // The data window's view: 16 bytes a line, two upper-case digits each.
    QStringList imageLines() const;

    static int typeSize(quint8 type);
    // The program code PP a definition path names (characters 4-3 before ".def").
    static QString programCodeOfPath(const QString& path);

    // Definition in use.
    QString definitionVersion = QString::fromLatin1(kDefaultVersion);
    QString firmwareCaption;
    QString definitionPath;

private:
    void assignRoles(const QString& path);

    std::array<ParamEntry, kMaxEntries> entries_;
    std::array<int, kMaxEntries> roleToEntry_{};
    std::array<bool, kMaxEntries> rolePresent_{};
    std::array<int, 4> counts_{};
    std::array<int, 4> bytes_{};
    QByteArray image_;
};

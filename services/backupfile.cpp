#include "services/backupfile.h"

#include <QFile>
#include <QFileInfo>

#include "base/programfolder.h"
#include "base/texts.h"
#include "device/paramtable.h"
#include "services/atomicfile.h"

namespace {

constexpr int kTagStart = 256;
constexpr int kVersionHigh = 260;
constexpr int kVersionLow = 266;

QString definitionFileOf(const QString& version) {
    return ProgramFolder::definition(QStringLiteral("DATV") + version + QStringLiteral(".def"));
}

// Versions are written as decimal digits, or upper-case hexadecimal for
// program codes from 100 on; anything else did not come from a backup.
bool isVersion(const QString& v) {
    if (v.size() != 4)
        return false;
    for (QChar c : v) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

// Control characters and 0xFF filler would make an unreadable message.
QString printable(const QString& v) {
    QString out;
    for (QChar c : v) {
        const char16_t u = c.unicode();
        out += (u >= 0x20 && u < 0x7F) ? QString(c)
                                       : QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}

}  // namespace

QByteArray BackupFile::makeBackupImage(const QByteArray& image, const QString& version) {
    const QString v =
        version.isEmpty() ? QString::fromLatin1(ParameterTable::kDefaultVersion) : version;
    if (image.size() > kImageRoom || v.size() != 4)
        return {};
    const QByteArray tag = v.toLatin1();
    QByteArray out(kFileSize, '\xFF');
    out.replace(0, image.size(), image);
    out.replace(kTagStart, 12, QByteArray("PDAT") + tag.left(2) + "REL " + tag.mid(2, 2));
    return out;
}

QString BackupFile::layoutVersion(const ParameterTable& table) {
    const QString name = QFileInfo(table.definitionPath).fileName();
    if (name.size() == 12 && name.startsWith(QLatin1String("DATV"), Qt::CaseInsensitive) &&
        name.endsWith(QLatin1String(".def"), Qt::CaseInsensitive) && isVersion(name.mid(4, 4)))
        return name.mid(4, 4);
    return table.definitionVersion;
}

QByteArray BackupFile::makeBackupImage(const ParameterTable& table) {
    return makeBackupImage(table.image().left(table.bytes(2)), layoutVersion(table));
}

bool BackupFile::writeBackupFile(const QString& path, const QByteArray& bytes, QString* error) {
    if (bytes.size() != kFileSize) {
        if (error)
            *error = tr_("%1 not written: a backup is %2 bytes, not %3")
                         .arg(path)
                         .arg(kFileSize)
                         .arg(bytes.size());
        return false;
    }
    return writeFileAtomically(path, bytes, error);
}

QString BackupFile::versionOfBackup(const QByteArray& bytes) {
    if (bytes.size() < kTagEnd)
        return {};
    const char v[4] = {bytes[kVersionHigh], bytes[kVersionHigh + 1], bytes[kVersionLow],
                       bytes[kVersionLow + 1]};
    return QString::fromLatin1(v, 4);
}

BackupFile::LoadResult BackupFile::loadBackupFile(const QString& path, ParameterTable& table,
                                                  Target target) {
    LoadResult r;
    const QString name = QFileInfo(path).fileName();
    r.versionInUse = table.definitionVersion;
    auto refuse = [&](LoadResult::Status status, const QString& error) {
        r.status = status;
        r.error = error;
        return r;
    };

    QFile file(path);
    if (!file.exists())
        return refuse(LoadResult::NotFound, tr_("%1: file not found").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(LoadResult::Unreadable,
                      QStringLiteral("%1: %2").arg(name, file.errorString()));
    // Nothing past the layout is ever used, whatever the file's size.
    const QByteArray bytes = file.read(kFileSize);
    if (file.error() != QFileDevice::NoError)
        return refuse(LoadResult::Unreadable,
                      QStringLiteral("%1: %2").arg(name, file.errorString()));
    if (bytes.size() < kTagEnd)
        return refuse(LoadResult::TooShort,
                      tr_("%1 is not a backup file: %2 bytes, too short for its version tag")
                          .arg(name)
                          .arg(bytes.size()));
    r.version = versionOfBackup(bytes);
    if (!isVersion(r.version))
        return refuse(LoadResult::BadTag,
                      tr_("%1 is not a backup file: its version tag \"%2\" names no definition")
                          .arg(name, printable(r.version)));
    const QString instrument = table.definitionVersion.isEmpty()
                                   ? QString::fromLatin1(ParameterTable::kDefaultVersion)
                                   : table.definitionVersion;
    const QString foreign =
        tr_("%1 is a backup of model %2 and cannot be restored onto model %3: nothing was "
            "changed or sent.")
            .arg(name, r.version, instrument);
    // The program is the model: a file of another one has another register map.
    if (target == Target::Instrument && r.version.left(2) != layoutVersion(table).left(2))
        return refuse(LoadResult::Foreign, foreign);

    // Everything happens on a copy, so a refusal at any step leaves the
    // table as it was.
    ParameterTable work = table;
    work.definitionPath = definitionFileOf(r.version);
    const auto named = work.loadDefinition(work.definitionPath);
    if (!named.ok)
        return refuse(LoadResult::BadDefinition, named.error);
    // A release with more setup entries cannot replace the instrument's
    // definition, and the instrument's layout cannot hold its bytes.
    if (target == Target::Instrument && work.setupCount() > table.setupCount())
        return refuse(LoadResult::Foreign, foreign);
    const QString inUse = r.version;
    work.definitionVersion = inUse;

    const int size = work.bytes(2);
    if (size > kImageRoom)
        return refuse(LoadResult::BadDefinition,
                      tr_("Definition %1 has an image of %2 bytes; a backup holds %3")
                          .arg(inUse)
                          .arg(size)
                          .arg(kImageRoom));
    if (bytes.size() < size)
        return refuse(
            LoadResult::TooShort,
            tr_("%1 holds %2 bytes, the image needs %3").arg(name).arg(bytes.size()).arg(size));

    work.copyIntoImage(bytes.left(size));
    table = std::move(work);
    r.status = LoadResult::Loaded;
    r.versionInUse = inUse;
    r.imageBytes = size;
    return r;
}

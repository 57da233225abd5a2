// Backup file loading on arbitrary file content, against the shipped
// definitions. The first input byte picks the definition in use; the rest
// is the file. A loaded file must fill the image with its first bytes; a
// refused one must leave the table exactly as it was.
#include <cstddef>
#include <cstdint>

#include "device/paramtable.h"
#include "fuzzhome.h"
#include "services/backupfile.h"

namespace {

ParameterTable tableInUse(const FuzzHome& home, const char* version) {
    ParameterTable t;
    t.definitionPath = home.file(QStringLiteral("Config/DATV%1.def").arg(QLatin1String(version)));
    if (!t.loadDefinition(t.definitionPath).ok)
        std::abort();
    t.definitionVersion = QLatin1String(version);
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzHome home(true);
    static const ParameterTable inUse[] = {tableInUse(home, "1218"), tableInUse(home, "3512"),
                                           tableInUse(home, "0000")};
    static const QString path = home.file(QStringLiteral("fuzz.mem"));
    if (size == 0)
        return 0;
    const ParameterTable& before = inUse[data[0] % 3];
    FuzzHome::writeFile(path, data + 1, size - 1);
    const QByteArray file(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));

    ParameterTable table = before;
    const auto r = BackupFile::loadBackupFile(path, table);
    if (r.status == BackupFile::LoadResult::Loaded) {
        FUZZ_CHECK(file.size() >= BackupFile::kTagEnd);
        FUZZ_CHECK(r.imageBytes == table.bytes(2) && r.imageBytes <= BackupFile::kImageRoom);
        FUZZ_CHECK(table.image().left(r.imageBytes) == file.left(r.imageBytes));
        FUZZ_CHECK(table.definitionVersion == r.versionInUse);
        FUZZ_CHECK(r.versionInUse == r.version || r.versionInUse == before.definitionVersion);
        // Saving what was loaded gives the same image back.
        const QByteArray again = BackupFile::makeBackupImage(table);
        FUZZ_CHECK(again.size() == BackupFile::kFileSize);
        FUZZ_CHECK(again.left(r.imageBytes) == file.left(r.imageBytes));
    } else {
        FUZZ_CHECK(!r.error.isEmpty());
        FUZZ_CHECK(table.image() == before.image());
        FUZZ_CHECK(table.definitionVersion == before.definitionVersion);
        FUZZ_CHECK(table.definitionPath == before.definitionPath);
        FUZZ_CHECK(table.entryCount() == before.entryCount());
        FUZZ_CHECK(table.setupCount() == before.setupCount());
    }
    return 0;
}

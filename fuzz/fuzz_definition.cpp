// The definition loader on arbitrary file content, loaded twice into one
// table (a first load sizes the image, a second one reuses it).
#include <cstddef>
#include <cstdint>

#include "device/paramtable.h"
#include "fuzzhome.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzHome home(false);
    static const QString path = home.file(QStringLiteral("Config/DATV0101.def"));
    FuzzHome::writeFile(path, data, size);

    ParameterTable table;
    for (int pass = 0; pass < 2; ++pass) {
        const auto result = table.loadDefinition(path);
        FUZZ_CHECK(result.ok || !result.error.isEmpty());
        FUZZ_CHECK(table.entryCount() >= 0 && table.entryCount() <= ParameterTable::kMaxEntries);
        // A load stopped by an error never reaches the image sizing, so only a
        // complete load promises an image that holds every entry.
        if (result.ok)
            FUZZ_CHECK(table.imageSize() >= table.bytes(2));
        for (int role = 0; role < ParameterTable::kRoleCount; ++role) {
            const int at = table.findRole(role);
            FUZZ_CHECK(at >= -1 && at < ParameterTable::kMaxEntries);
            if (at >= 0)
                FUZZ_CHECK(table.entry(at).role == static_cast<quint32>(role));
        }
        // Byte access inside the image must work, outside it must throw.
        unsigned sink = 0;
        for (int i = 0; i < table.imageSize(); ++i)
            sink += table.readImageByte(i);
        try {
            sink += table.readImageByte(table.imageSize());
            FUZZ_CHECK(false);
        } catch (const std::out_of_range&) {
        }
        sink += static_cast<unsigned>(table.imageLines().size());
        (void)sink;
    }
    return 0;
}

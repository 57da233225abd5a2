// The definition loader on arbitrary file content, loaded twice into one
// table (a first load sizes the image, a second one reuses it), then a good
// definition over it, which must leave no trace of the first.
#include <cstddef>
#include <cstdint>

#include "device/paramtable.h"
#include "fuzzhome.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzHome home(false);
    static const QString path = home.file(QStringLiteral("Config/DATV0101.def"));
    static const QString good = [] {
        const QString p = home.file(QStringLiteral("Config/DATV0202.def"));
        const char text[] =
            "[SETUP]=0\r\nA=22\r\nB=13\r\n[DATA]=256\r\nW=51\r\n[CALIBRA]=24576\r\nC=62\r\n";
        FuzzHome::writeFile(p, reinterpret_cast<const uint8_t*>(text), sizeof text - 1);
        return p;
    }();
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
        if (result.ok) {
            FUZZ_CHECK(table.count(0) <= table.count(1) && table.count(1) <= table.count(2));
            for (int i = 0; i < table.entryCount(); ++i)
                FUZZ_CHECK(!table.entry(i).name.startsWith(QLatin1Char('[')) &&
                           table.entry(i).regOffset >= -1);
        }
    }

    static ParameterTable fresh = [] {
        ParameterTable t;
        FUZZ_CHECK(t.loadDefinition(good).ok);
        return t;
    }();
    FUZZ_CHECK(table.loadDefinition(good).ok);
    for (int k = 0; k < ParameterTable::kSections; ++k)
        FUZZ_CHECK(table.count(k) == fresh.count(k) && table.bytes(k) == fresh.bytes(k));
    FUZZ_CHECK(table.setupBase == fresh.setupBase && table.dataBase == fresh.dataBase &&
               table.calibrationBase == fresh.calibrationBase);
    for (int i = 0; i < fresh.entryCount(); ++i)
        FUZZ_CHECK(table.entry(i).name == fresh.entry(i).name &&
                   table.entry(i).imagePos == fresh.entry(i).imagePos);
    for (int role = 0; role < ParameterTable::kRoleCount; ++role)
        FUZZ_CHECK(table.findRole(role) == fresh.findRole(role));
    return 0;
}

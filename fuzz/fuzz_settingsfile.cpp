// Settings file reading on arbitrary content, each line UTF-8 or Latin-1.
// Whatever was read must be writable again and read back identically, byte
// for byte where the bytes were already the written form.
#include <cstddef>
#include <cstdint>

#include "fuzzhome.h"
#include "services/settingsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto first = SettingsFile::parse(content, -30, 40);
    FUZZ_CHECK(first.found);
    bool ok = false;
    first.values.f_top.toInt(&ok);
    FUZZ_CHECK(ok);
    first.values.formcolor.toInt(&ok);
    FUZZ_CHECK(ok);

    QString error;
    const QByteArray written = SettingsFile::serialize(first.values, &error);
    FUZZ_CHECK(!written.isEmpty());  // everything read from a file can be stored
    const auto second = SettingsFile::parse(written, 0, 0);
    FUZZ_CHECK(second.problems.isEmpty());
    FUZZ_CHECK(second.values == first.values);
    FUZZ_CHECK(SettingsFile::serialize(second.values) == written);
    FUZZ_CHECK(written.count("\r\n") >= SettingsFile::kLines);
    return 0;
}

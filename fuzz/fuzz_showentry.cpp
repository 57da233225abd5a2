// Decoding and the show-entry rules on arbitrary parameter images, against
// the shipped definitions. Input: byte 0 picks the definition (bits 0-1),
// the link flags (bits 2-3) and whether value texts follow the image
// (bit 7); byte 1 is the instrument's status byte; then the image bytes
// and, when asked for, value texts one per line for the setup entries.
// Every entry is decoded and shown, in table order and then backwards, so
// that rules meet each other's state in both orders.
#include <QByteArray>
#include <QList>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "device/controlmodel.h"
#include "device/decoding.h"
#include "device/paramtable.h"
#include "fuzzhome.h"

namespace {

ParameterTable tableInUse(const FuzzHome& home, const char* version) {
    ParameterTable t;
    t.definitionPath = home.file(QStringLiteral("Config/DATV%1.def").arg(QLatin1String(version)));
    if (!t.loadDefinition(t.definitionPath).ok)
        std::abort();
    t.definitionVersion = QLatin1String(version);
    return t;
}

// A decoded value reads back as the bytes it came from, where the write
// path takes it (a u32 past the signed range and NaN/INF it refuses).
void checkRoundTrip(const ParameterTable& table, int index) {
    const ParamEntry& e = table.entry(index);
    const int size = ParameterTable::typeSize(e.type);
    if (size == 0 || e.imagePos < 0 || e.imagePos + size > table.imageSize())
        return;
    const QByteArray bytes = table.image().mid(e.imagePos, size);
    const EncodedValue enc = encodeValue(e.type, e.value);
    if (e.type == 4 && quint8(bytes[0]) >= 0x80) {
        FUZZ_CHECK(!enc.ok);
        return;
    }
    if (e.type == 6 && (quint8(bytes[0]) & 0x7F) == 0x7F && (quint8(bytes[1]) & 0x80)) {
        FUZZ_CHECK(!enc.ok);  // exponent all ones: NaN or infinity
        return;
    }
    FUZZ_CHECK(enc.ok);
    FUZZ_CHECK(enc.bytes == bytes);
}

const QStringList& combos() {
    static const QStringList names = Decoder::fixedCombos()
                                     << QStringLiteral("CBProt2") << QStringLiteral("CBBaudField");
    return names;
}

// The fixed lists never change by showing a value.
void checkFixedLists(const ControlModel& controls) {
    for (const QString& name : Decoder::fixedCombos())
        FUZZ_CHECK(controls.items(name) == Decoder::comboItems(name));
}

void checkControls(const ControlModel& controls, const DisplayState& display) {
    for (const QString& name : combos()) {
        const ControlState s = controls.state(name);
        FUZZ_CHECK(s.index >= -1 && s.index < s.items.size());
        FUZZ_CHECK(s.index < 0 ? s.text.isEmpty() : s.text == s.items.at(s.index));
    }
    const qsizetype protocols = controls.items(QStringLiteral("CBProt2")).size();
    FUZZ_CHECK(protocols == 0 || protocols == 4 || protocols == 7);

    FUZZ_CHECK(display.decimals >= 0 && display.decimals <= 3);
    FUZZ_CHECK(display.decimalsMask == decimalsMask(display.decimals));
    const int step = display.divisionStep;
    FUZZ_CHECK(step == 1 || step == 2 || step == 5 || step == 10 || step == 20 || step == 50);
    // Only a selected division sets decimals other than 0.
    if (display.decimals > 0)
        FUZZ_CHECK(decimalsOfDivision(controls.index(QStringLiteral("CBUnit"))) ==
                   display.decimals);
    FUZZ_CHECK(display.fieldbusAddressLimit == 63 || display.fieldbusAddressLimit == 126);
    // Showing each entry at most twice bounds the dotted address.
    FUZZ_CHECK(display.ipText.size() < 4096);
}

// Shows one entry; a value that cannot be shown is reported, never a crash
// or a broken control model.
void show(Decoder& dec, const ParameterTable& table, ControlModel& controls,
          const DisplayState& display, int index) {
    const QString before = table.entry(index).value;
    try {
        dec.showEntry(index);
    } catch (const DecodeError& e) {
        FUZZ_CHECK(e.what()[0] != '\0');
    } catch (const std::out_of_range&) {
    }
    // Only the scale division's fallback touches value texts.
    if ((table.entry(index).role & 127) != 0)
        FUZZ_CHECK(table.entry(index).value == before);
    checkControls(controls, display);
    // Every update names a control.
    for (const ControlUpdate& u : controls.takeUpdates())
        FUZZ_CHECK(!u.control.isEmpty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzHome home(true);
    static const ParameterTable inUse[] = {tableInUse(home, "1218"), tableInUse(home, "3512"),
                                           tableInUse(home, "0000")};
    if (size < 2)
        return 0;
    const uint8_t mode = data[0];
    ParameterTable table = inUse[(mode & 3) % 3];
    const QByteArray rest(reinterpret_cast<const char*>(data + 2),
                          static_cast<qsizetype>(size - 2));
    table.copyIntoImage(rest.left(table.imageSize()));

    DisplayState display;
    display.statusFlags = data[1];
    ControlModel controls;
    Decoder::LinkFlags link{(mode & 4) != 0, (mode & 8) != 0};
    Decoder dec(table, display, controls, [&link] { return link; });
    dec.defaultSelections();
    controls.takeUpdates();

    const int entries = table.entryCount();
    for (int i = 0; i < entries; ++i) {
        try {
            dec.decodeEntry(i);
            checkRoundTrip(table, i);
        } catch (const std::out_of_range&) {
            // an entry past the image keeps its text
        }
    }
    try {
        dec.decodeEntries(table.setupCount(), table.dataCount());
    } catch (const std::out_of_range&) {
    }

    if (mode & 0x80) {
        const QList<QByteArray> texts = rest.mid(table.imageSize()).split('\n');
        for (int i = 0; i < table.setupCount() && i < texts.size(); ++i)
            table.entry(i).value = QString::fromLatin1(texts[i]);
    }

    for (int i = 0; i < entries; ++i)
        show(dec, table, controls, display, i);
    for (int i = entries - 1; i >= 0; --i)
        show(dec, table, controls, display, i);

    // A whole setup pass either ends or stops at the value that cannot be shown.
    try {
        dec.showSetupEntries();
    } catch (const DecodeError&) {
    } catch (const std::out_of_range&) {
    }
    checkControls(controls, display);
    checkFixedLists(controls);
    return 0;
}

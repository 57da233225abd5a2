#include "sim/registermap.h"

#include "device/paramtable.h"
#include "sim/simvalues.h"

namespace {

void place(QHash<int, RegisterSlot>& map, int first, int entry, int words,
           const ParameterTable& table, QStringList& warnings) {
    for (int w = 0; w < words; ++w) {
        const int reg = first + w;
        if (reg < 0 || reg > 0xFFFF) {
            warnings << QStringLiteral("%1: register %2 is outside 0..65535")
                            .arg(table.entry(entry).name)
                            .arg(reg);
            continue;
        }
        if (map.contains(reg)) {
            warnings << QStringLiteral("%1 and %2 share register %3")
                            .arg(table.entry(map.value(reg).entry).name, table.entry(entry).name)
                            .arg(reg);
            continue;
        }
        map.insert(reg, RegisterSlot{entry, w, words});
    }
}

}  // namespace

QStringList RegisterMap::build(const ParameterTable& table) {
    QStringList warnings;
    read_.clear();
    write_.clear();
    input_.clear();
    for (int i = 0; i < table.entryCount(); ++i) {
        const ParamEntry& e = table.entry(i);
        const int words = simvalue::registerCount(e.type);
        if (words == 0)
            continue;
        if (i < table.setupCount()) {
            place(read_, table.setupBase + e.regOffset, i, words, table, warnings);
            place(write_, table.setupBase + e.regOffset, i, words, table, warnings);
        } else if (i < table.count(1)) {
            place(input_, table.dataBase + e.regOffset, i, words, table, warnings);
        } else {
            place(read_, table.calibrationBase + kCalibrationReadOffset + e.regOffset, i, words,
                  table, warnings);
            place(write_, table.calibrationBase + e.regOffset, i, words, table, warnings);
        }
    }
    if (input_.contains(kIdentificationRegister))
        warnings << QStringLiteral("input register %1 answers the identification, not %2")
                        .arg(kIdentificationRegister)
                        .arg(table.entry(input_.value(kIdentificationRegister).entry).name);
    return warnings;
}

const RegisterSlot* RegisterMap::find(const QHash<int, RegisterSlot>& map, int reg) {
    const auto it = map.constFind(reg);
    return it == map.constEnd() ? nullptr : &it.value();
}

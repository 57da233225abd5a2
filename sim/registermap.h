#pragma once

#include <QHash>
#include <QStringList>

class ParameterTable;

// One 16-bit register of an entry: which entry, which of its words (0 is the
// high word of a 32-bit entry) and how many words the entry has.
struct RegisterSlot {
    int entry = -1;
    int word = 0;
    int words = 1;
};

// Where each entry of a definition answers on the wire. Setup entries are
// holding registers at setup base + offset, read and written there;
// calibration entries are written at calibration base + offset and read back
// at calibration base + 48 + offset; the data section is input registers at
// data base + offset.
class RegisterMap {
public:
    static constexpr int kCalibrationReadOffset = 48;
    static constexpr int kIdentificationRegister = 5;

    // Returns one warning per register that two entries claim (the first keeps it).
    QStringList build(const ParameterTable& table);

    const RegisterSlot* holdingRead(int reg) const { return find(read_, reg); }
    const RegisterSlot* holdingWrite(int reg) const { return find(write_, reg); }
    const RegisterSlot* input(int reg) const { return find(input_, reg); }

private:
    static const RegisterSlot* find(const QHash<int, RegisterSlot>& map, int reg);

    QHash<int, RegisterSlot> read_;
    QHash<int, RegisterSlot> write_;
    QHash<int, RegisterSlot> input_;
};

#pragma once

#include <array>

#include "window/page.h"

class FieldBinder;
class QComboBox;

namespace Ui {
class InOutPage;
}

// Page 4, "In/Out": the two setpoint outputs. Each output's four combo
// boxes make one configuration word (role 20 for OUT 1, 24 for OUT 2); its
// value, hysteresis, timer and delay are typed fields.
class InOutPage : public Page {
    Q_OBJECT
public:
    explicit InOutPage(PageContext& context, QWidget* parent = nullptr);
    ~InOutPage() override;

    int number() const override { return 4; }

    // The configuration word of an output from its boxes' indexes: Stable
    // x 16 + Signal x 8 + Type x 4 + Mode. A box without a selection counts
    // as its first item.
    static int packedWord(int mode, int type, int sign, int stable);

private:
    // CBMode1Change / CBMode2Change: any of the output's four boxes.
    void outputChanged(int output, QComboBox* changed);

    Ui::InOutPage* ui;
    FieldBinder* binder_;
    // Mode, Type, Signal, Stable of each output.
    std::array<std::array<QComboBox*, 4>, 2> boxes_{};
};

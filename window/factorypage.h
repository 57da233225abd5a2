#pragma once

#include "window/page.h"

class AnalogRegulation;

namespace Ui {
class FactoryPage;
}

// Page 13, "Factory": the A/D calibration against 0 mV/V and 2 mV/V, the
// raw sensor data, the factory reset with the stored code, and the analog
// output's regulation and test.
class FactoryPage : public Page {
    Q_OBJECT
public:
    explicit FactoryPage(PageContext& context, QWidget* parent = nullptr);
    ~FactoryPage() override;

    int number() const override { return 13; }
    AnalogRegulation& regulation() { return *regulation_; }

private:
    void btZeroClick();
    void btFSClick();
    void btresallClick();
    void btReganaClick();
    void bttestanaClick();
    // The tools close whichever page's "Exit" was pressed.
    void closeTools();

    Ui::FactoryPage* ui;
    AnalogRegulation* regulation_;
};

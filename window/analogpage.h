#pragma once

#include "window/page.h"

namespace Ui {
class AnalogPage;
}

// Page 6, "Analog": the analog output, with the hidden group Gbanacal.
class AnalogPage : public Page {
    Q_OBJECT
public:
    explicit AnalogPage(PageContext& context, QWidget* parent = nullptr);
    ~AnalogPage() override;

    int number() const override { return 6; }
    // Ctrl+K: the analog calibration group, hidden until asked for.
    void toggleCalibrationGroup();

private:
    Ui::AnalogPage* ui;
};

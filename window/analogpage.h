#pragma once

#include "window/page.h"

class FieldBinder;

namespace Ui {
class AnalogPage;
}

// Page 6, "Analog": the analog output's mode, range, full scale and zero,
// and the hidden group Gbanacal with the eight regulation buttons (Zero
// Offset and Full Scale, each fast down, down, up, fast up), whose
// handlers the analog regulation attaches.
class AnalogPage : public Page {
    Q_OBJECT
public:
    explicit AnalogPage(PageContext& context, QWidget* parent = nullptr);
    ~AnalogPage() override;

    int number() const override { return 6; }
    // Ctrl+K: the analog calibration group, hidden until asked for.
    void toggleCalibrationGroup();

private:
    void CBModeChange();
    void CBRangeChange();

    Ui::AnalogPage* ui;
    FieldBinder* binder_ = nullptr;
};

#pragma once

#include "window/page.h"

namespace Ui {
class CalibrationPage;
}

// Page 1, "Calib.": the scale's base settings and its calibration.
class CalibrationPage : public Page {
    Q_OBJECT
public:
    explicit CalibrationPage(PageContext& context, QWidget* parent = nullptr);
    ~CalibrationPage() override;

    int number() const override { return 1; }

private:
    Ui::CalibrationPage* ui;
};

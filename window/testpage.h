#pragma once

#include "window/page.h"

class AnalogRegulation;
class OnOffSwitch;

namespace Ui {
class TestPage;
}

// Page 11, "Test": the hardware test. The input lamps and the sensor
// read-outs follow the live refresh; the two output sliders and the analog
// track bar put the instrument into a test mode (role 8), which every way
// off the page ends.
class TestPage : public Page {
    Q_OBJECT
public:
    explicit TestPage(PageContext& context, QWidget* parent = nullptr);
    ~TestPage() override;

    int number() const override { return 11; }
    OnOffSwitch* outputSwitch(int output) const;

private:
    // SLOut1Click / SLOut1StateChanged and those of SLOut2: the output test
    // sequence for output 0 or 1.
    void outputTest(int output, bool on);

    Ui::TestPage* ui;
    AnalogRegulation* analog_;
    // What the technician set with the toggle that raised the click; the
    // live refresh may show another state in between.
    bool wanted_[2] = {false, false};
};

#pragma once

#include <QString>
#include <optional>

#include "device/decoding.h"

class ControlModel;

// What one live refresh needs besides the display state.
struct LiveInputs {
    // rg2 items.
    enum View { Gross = 0, Net = 1, Peak = 2 };

    int ioBits = 0;  // bit 0 input 1, bit 1 input 2, bit 2 output 1, bit 3 output 2
    int view = Net;
    int analogMode = -1;      // CBMode index: 0 Net, 1 Gross, 2 Peak
    int analogRange = -1;     // CBRange index: 0 "0÷20mA", 1 "4÷20mA", 2 "0÷10V", 3 "0÷5V"
    QString analogFullScale;  // EanaFS text
    QString analogZero;       // Eanazero text
    bool analogTest = false;  // an analog test or regulation is running
    int sliderPosition = 0;   // TBAnalogtest on the hardware test page, else TBAnalog
    QString definitionVersion;
    QString firmwareCaption;
    QString fieldbusCaption;
    int stato_link = 0;
    bool modo_offline = false;
    bool unsaved = false;

    // Takes CBMode, CBRange, EanaFS and Eanazero from the mirror.
    void readControls(const ControlModel& controls);
};

// What the window draws itself; the labels travel as control updates.
struct LiveResult {
    // Lamps: input 1 Led_in1A/Led_in1B/LED1, input 2 Led_in2A/Led_in2B/LED2,
    // output 1 Led_out1A/Led_out1B and switch SLOut1, output 2 likewise.
    bool input1 = false;
    bool input2 = false;
    bool output1 = false;
    bool output2 = false;

    bool overload = false;
    // Which guarded blocks failed (each has logged its line).
    bool panelFailed = false;
    bool weightFailed = false;
    bool filterFailed = false;

    // Pan_NET, Pan_min, Pan_stabile: active or idle.
    bool netShown = false;
    bool belowMinimum = false;
    bool stable = false;

    std::optional<double> weightPoint;  // Chart1 / Serie1, at the time of day
    std::optional<double> filterPoint;  // Chart3 / Serie2B; Serie2A is switched off

    QString statusText;  // SB1 panel 0
    QString saveText;    // SB1 panel 1
};

// Colours as 0xRRGGBB.
namespace LiveColours {
constexpr quint32 kLampOn = 0x00FF00;
constexpr quint32 kLampOff = 0x808080;
constexpr quint32 kPanelActive = 0x0000FF;
constexpr quint32 kPanelIdle = 0xB9D1EA;
}  // namespace LiveColours

// Chart axis rules, for the window that owns the charts (at most 201 points
// a series: more than 200 held, the first goes before a point is added).
struct AxisRange {
    double min = 0.0;
    double max = 0.0;
};
// The weight chart's left axis only ever grows to take in a new point.
AxisRange weightAxisAfter(AxisRange axis, double y);
// A filter-chart point outside the axis puts the axis on automatic.
bool filterAxisNeedsAutomatic(AxisRange axis, double y2);
// Then, when the range is narrower than used weight x 0.0005, the manual
// range to set (both ends from the minimum the axis has before the change).
std::optional<AxisRange> filterAxisManual(AxisRange axis, double usedWeight);

// The live weight and status refresh: lamps, weight display, information
// labels, analog preview, readouts, chart values and status bar texts.
// Failures in its three guarded blocks are logged, never thrown.
class LiveRefresh {
public:
    LiveRefresh(DisplayState& display, ControlModel& controls);
    LiveResult run(const LiveInputs& in);

private:
    void panel(const LiveInputs& in, qint32 weight, LiveResult& out);
    void analogPreview(const LiveInputs& in, bool overload);
    void weightBlock(qint32 weight, LiveResult& out);
    void filterBlock(LiveResult& out);
    void text(const char* control, const QString& t);

    DisplayState& display_;
    ControlModel& controls_;
};

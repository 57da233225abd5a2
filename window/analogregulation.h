#pragma once

#include <QHash>
#include <QObject>
#include <optional>

class PageContext;
class QAbstractButton;
class QLabel;
class QSlider;

// The analog output's regulation and test, shared by the factory page and
// the Analog page: each page builds one on its own context and attaches its
// buttons and track bar.
//
// A regulation step puts the instrument into mode 3 (zero offset) or 4
// (full scale) through role 8, written every time, and when that is
// acknowledged nudges role 39 or 40 by the button's step, held at the
// button's limit. The analog test puts it into mode 6 and sets role 9 to
// the track bar's percentage x 640. Every step is dropped while a request
// builder holds the line. The test stays on until a page change, "Exit" or
// any other way out ends it (PageContext::endRunningTests).
class AnalogRegulation : public QObject {
    Q_OBJECT
public:
    // Left to right on each row: fast down, down, up, fast up.
    enum Button {
        OffsetFastDown,
        OffsetDown,
        OffsetUp,
        OffsetFastUp,
        FullScaleFastDown,
        FullScaleDown,
        FullScaleUp,
        FullScaleFastUp,
    };
    struct Step {
        const char* mode;  // role 8 value: "3" zero offset, "4" full scale
        int role;          // 39 zero offset, 40 full scale
        int click;         // step of a click
        int shiftPress;    // step of a left press with exactly Shift held; 0: none
        int limit;         // the value never passes it in the step's direction
    };
    static Step stepOf(Button which);

    static constexpr int kTestModeRole = 8;
    static constexpr int kAnalogTestRole = 9;
    // 100 % of the track bar is 64000 on role 9.
    static constexpr int kTestCountsPerPercent = 640;

    explicit AnalogRegulation(PageContext& context, QObject* parent = nullptr);

    // A click runs the button's step; on the fast buttons a left press with
    // exactly Shift held runs the Shift step too, so a Shift-click moves by
    // both in two writes.
    void attach(QAbstractButton* button, Button which);
    // 0 to 100 % in steps of 10, the value shown as "%g %%" on `valueLabel`
    // (may be null); each position change and each click runs the analog
    // test at the bar's position.
    void attachTrackBar(QSlider* bar, QLabel* valueLabel);

    // One regulation step.
    void step(Button which, bool shift);
    // The analog test at `position` percent (test_analogico).
    void test_analogico(int position);
    // "Exit": the analog tools close on every page, and a running test or
    // regulation ends.
    void exit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clicked(Button which);
    void runPendingShift();
    void trackBarMoved(QSlider* bar, QLabel* valueLabel, int value);

    PageContext& ctx_;
    QHash<QObject*, Button> buttons_;
    QHash<QObject*, QSlider*> bars_;
    // A Shift press whose step has not run yet, the Shift step running, and
    // the click of that same press arriving while it runs.
    std::optional<Button> pendingShift_;
    std::optional<Button> shiftRunning_;
    std::optional<Button> deferredClick_;
};

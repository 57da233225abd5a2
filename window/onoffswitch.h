#pragma once

#include <QAbstractButton>

// An on/off slider: a checkable button drawn as a track with a knob, "On"
// on the left, "Off" on the right; the knob sits on the side that is set.
// A click toggles it (state change, then click, as any checkable button).
// The program shows the instrument's state through showState, which never
// raises either signal and is ignored while the switch is held by a
// sequence that sends its own state.
class OnOffSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit OnOffSwitch(QWidget* parent = nullptr);

    void showState(bool on);
    void setHeld(bool held) { held_ = held; }
    bool isHeld() const { return held_; }

    QSize sizeHint() const override { return {110, 34}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool held_ = false;
};

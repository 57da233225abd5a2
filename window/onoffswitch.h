#pragma once

#include <QAbstractButton>

// An on/off slider: a checkable button drawn as a track with a knob, as
// every desktop and phone switch: on is the knob to the right on the on
// colour, off the knob to the left on grey.
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
    // Where the knob is drawn for the state shown.
    QRectF knobRect() const;
    static inline const QColor kOnColour{0, 160, 60};

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool held_ = false;
};

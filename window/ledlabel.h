#pragma once

#include <QLabel>

// The weight read-out: text in the seven-segment face, right-aligned on a
// dark glass, with the unlit segments of every digit place faintly shown.
class LedLabel : public QLabel {
    Q_OBJECT
public:
    explicit LedLabel(QWidget* parent = nullptr);

    // Registers the embedded seven-segment font once; the family name, or
    // empty when registering failed (the label then keeps its own font).
    static QString ledFamily();

    void setDigitPlaces(int places) { places_ = places; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int places_ = 7;
};

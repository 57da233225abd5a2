#pragma once

#include <QWidget>

// A round input/output lamp: lit green (0, 255, 0) or grey (128, 128, 128).
class Lamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool on READ isOn WRITE setOn)
public:
    static inline const QColor kOn{0, 255, 0};
    static inline const QColor kOff{128, 128, 128};

    explicit Lamp(QWidget* parent = nullptr);
    bool isOn() const { return on_; }
    void setOn(bool on);
    QColor color() const { return on_ ? kOn : kOff; }
    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool on_ = false;
};

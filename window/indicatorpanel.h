#pragma once

#include <QLabel>

// A status indicator beside the weight (net, stable, below minimum):
// white caption on blue (0, 0, 255) while active, dimmed on the idle
// colour (185, 209, 234) otherwise.
class IndicatorPanel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(bool active READ isActive WRITE setActive)
public:
    static inline const QColor kActive{0, 0, 255};
    static inline const QColor kIdle{185, 209, 234};

    explicit IndicatorPanel(QWidget* parent = nullptr);
    bool isActive() const { return active_; }
    void setActive(bool active);
    QColor fill() const { return active_ ? kActive : kIdle; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool active_ = false;
};

#pragma once

#include <QColor>
#include <QFrame>

// A header panel filled with a mirrored gradient: the upper half runs from
// `color` to `colorTo`, the lower half from `colorMirror` to `colorMirrorTo`.
class GradientPanel : public QFrame {
    Q_OBJECT
public:
    explicit GradientPanel(QWidget* parent = nullptr);

    void setColors(const QColor& color, const QColor& colorTo, const QColor& colorMirror,
                   const QColor& colorMirrorTo);
    QColor color() const { return color_; }
    QColor colorTo() const { return colorTo_; }

Q_SIGNALS:
    void entered();
    void left();
    void mouseMoved(const QPoint& position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QColor color_{204, 255, 204};
    QColor colorTo_{153, 235, 141};
    QColor colorMirror_{153, 235, 141};
    QColor colorMirrorTo_{204, 255, 204};
};

#include "window/gradientpanel.h"

#include <QMouseEvent>
#include <QPainter>

GradientPanel::GradientPanel(QWidget* parent) : QFrame(parent) {
    setMouseTracking(true);
}

void GradientPanel::setColors(const QColor& color, const QColor& colorTo, const QColor& colorMirror,
                              const QColor& colorMirrorTo) {
    color_ = color;
    colorTo_ = colorTo;
    colorMirror_ = colorMirror;
    colorMirrorTo_ = colorMirrorTo;
    update();
}

void GradientPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int half = height() / 2;
    QLinearGradient top(0, 0, 0, half);
    top.setColorAt(0, color_);
    top.setColorAt(1, colorTo_);
    QLinearGradient bottom(0, half, 0, height());
    bottom.setColorAt(0, colorMirror_);
    bottom.setColorAt(1, colorMirrorTo_);
    p.fillRect(QRect(0, 0, width(), half), top);
    p.fillRect(QRect(0, half, width(), height() - half), bottom);
    p.setPen(colorTo_.darker(135));
    p.drawLine(0, height() - 1, width(), height() - 1);
}

void GradientPanel::enterEvent(QEnterEvent* event) {
    Q_EMIT entered();
    QFrame::enterEvent(event);
}

void GradientPanel::leaveEvent(QEvent* event) {
    Q_EMIT left();
    QFrame::leaveEvent(event);
}

void GradientPanel::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT mouseMoved(event->position().toPoint());
    QFrame::mouseMoveEvent(event);
}

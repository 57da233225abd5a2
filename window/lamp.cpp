#include "window/lamp.h"

#include <QPainter>

Lamp::Lamp(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Lamp::setOn(bool on) {
    if (on == on_)
        return;
    on_ = on;
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = qMin(width(), height()) - 2;
    const QRectF r((width() - d) / 2, (height() - d) / 2, d, d);
    QRadialGradient g(r.center() - QPointF(d / 5, d / 5), d * 0.7);
    g.setColorAt(0, color().lighter(170));
    g.setColorAt(1, color());
    p.setPen(QPen(color().darker(170), 1.2));
    p.setBrush(g);
    p.drawEllipse(r);
}

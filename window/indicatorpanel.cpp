#include "window/indicatorpanel.h"

#include <QPainter>

IndicatorPanel::IndicatorPanel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
}

void IndicatorPanel::setActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    update();
}

void IndicatorPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(fill().darker(130), 1));
    p.setBrush(fill());
    p.drawRoundedRect(r, 4, 4);
    p.setPen(active_ ? QColor(Qt::white) : QColor(110, 128, 150));
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
}

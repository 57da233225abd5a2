#include "window/onoffswitch.h"

#include <QPainter>
#include <QSignalBlocker>

#include "base/texts.h"

OnOffSwitch::OnOffSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setChecked(false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void OnOffSwitch::showState(bool on) {
    if (held_ || on == isChecked())
        return;
    const QSignalBlocker quiet(this);
    setChecked(on);
    update();
}

QRectF OnOffSwitch::knobRect() const {
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal knob = track.height() - 4;
    return {isChecked() ? track.right() - 2 - knob : track.left() + 2, track.top() + 2, knob, knob};
}

void OnOffSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    const bool on = isChecked();
    const QColor fill = !isEnabled() ? QColor(200, 200, 200)
                        : on         ? kOnColour
                                     : QColor(150, 150, 150);
    p.setPen(QPen(fill.darker(150), 1));
    p.setBrush(fill);
    p.drawRoundedRect(track, radius, radius);

    const QRectF knob = knobRect();
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(knob);

    // The caption on the side the knob has left.
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    const QRectF label = on ? track.adjusted(radius / 2, 0, -knob.width() - 4, 0)
                            : track.adjusted(knob.width() + 4, 0, -radius / 2, 0);
    p.drawText(label, Qt::AlignCenter, on ? tr_("On") : tr_("Off"));
    if (hasFocus()) {
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track.adjusted(2, 2, -2, -2), radius - 2, radius - 2);
    }
}

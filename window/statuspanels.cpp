#include "window/statuspanels.h"

#include <QMouseEvent>
#include <QPainter>

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("SB1"));
    setSizeGripEnabled(false);
    setFocusPolicy(Qt::ClickFocus);
    setFixedHeight(24);
    texts_ = {QStringLiteral("Status: Offline"), QStringLiteral("Offline"), QStringLiteral(" ")};
}

void StatusPanels::setPanelText(int panel, const QString& text) {
    if (panel < 0 || panel > 1)
        return;  // panel 2 never changes
    texts_.at(static_cast<size_t>(panel)) = text;
    update();
}

void StatusPanels::setLinkState(int state) {
    linkState_ = state;
    update();
}

void StatusPanels::setUnsaved(bool unsaved) {
    unsaved_ = unsaved;
    update();
}

QColor StatusPanels::textColor(int panel) const {
    if (panel == 0) {
        if (linkState_ == 1)
            return QColor(0x00, 0x80, 0x00);
        if (linkState_ >= 2)
            return QColor(0xFF, 0x00, 0x00);
        return Qt::black;
    }
    if (unsaved_)
        return Qt::white;
    return Qt::black;
}

QColor StatusPanels::fillColor(int panel) const {
    const QColor face = palette().color(QPalette::Button);
    if (panel == 0)
        return face;
    return unsaved_ ? QColor(0xFF, 0x00, 0x00) : face;
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    int left = 0;
    for (int i = 0; i < 3; ++i) {
        const QRect r(left, 1, kWidths.at(static_cast<size_t>(i)) - 2, height() - 2);
        p.fillRect(r, fillColor(i));
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(textColor(i));
        p.drawText(r.adjusted(6, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   texts_.at(static_cast<size_t>(i)));
        left += kWidths.at(static_cast<size_t>(i));
    }
}

void StatusPanels::mousePressEvent(QMouseEvent* event) {
    // Taking the focus first makes a field being edited write its value.
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton)
        Q_EMIT clicked();
}

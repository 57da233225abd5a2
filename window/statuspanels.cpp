#include "window/statuspanels.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

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

std::array<int, 3> StatusPanels::widths() const {
    const int needed0 = QFontMetrics(font()).horizontalAdvance(texts_[0]) + kTextMargins + 2;
    const int w = width();
    // Panel 0 never hides its word: the designed width, or its text's. Short
    // of room it gives back what its word does not use, so the save text
    // keeps as much as it can.
    int w0 = std::max(kWidths[0], needed0);
    if (w0 + kWidths[1] > w)
        w0 = std::max(needed0, std::min(w0, w - kWidths[1]));
    w0 = std::min(w0, w);
    const int w1 = std::clamp(w - w0, 0, kWidths[1]);
    return {w0, w1, std::clamp(w - w0 - w1, 0, kWidths[2])};
}

QRect StatusPanels::panelRect(int panel) const {
    const std::array<int, 3> w = widths();
    int left = 0;
    for (int i = 0; i < panel; ++i)
        left += w.at(static_cast<size_t>(i));
    return {left, 1, w.at(static_cast<size_t>(panel)), height() - 2};
}

QFont StatusPanels::panelFont(int panel) const {
    QFont f = font();
    const QString& text = texts_.at(static_cast<size_t>(panel));
    const int room = panelRect(panel).width() - kTextMargins - 2;
    int size = f.pixelSize() > 0 ? f.pixelSize() : QFontMetrics(f).height();
    while (size > kMinPixelSize && QFontMetrics(f).horizontalAdvance(text) > room) {
        --size;
        f.setPixelSize(size);
    }
    return f;
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    for (int i = 0; i < 3; ++i) {
        const QRect r = panelRect(i);
        if (r.width() <= 2)
            continue;
        const QRect box = r.adjusted(0, 0, -2, 0);
        p.fillRect(box, fillColor(i));
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.setPen(textColor(i));
        p.setFont(panelFont(i));
        p.drawText(box.adjusted(6, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   texts_.at(static_cast<size_t>(i)));
    }
}

void StatusPanels::mousePressEvent(QMouseEvent* event) {
    // Taking the focus first makes a field being edited write its value.
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton)
        Q_EMIT clicked();
}

#include "window/ledlabel.h"

#include <QFile>
#include <QFontDatabase>
#include <QPainter>

LedLabel::LedLabel(QWidget* parent) : QLabel(parent) {
    const QString family = ledFamily();
    if (!family.isEmpty()) {
        QFont f(family);
        f.setPixelSize(46);
        setFont(f);
    }
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QString LedLabel::ledFamily() {
    static const QString family = [] {
        QFile file(QStringLiteral(":/fonts/Led_Font"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        const int id = QFontDatabase::addApplicationFontFromData(file.readAll());
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    return family;
}

void LedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF glass = QRectF(rect()).adjusted(1, 1, -1, -1);
    QLinearGradient g(glass.topLeft(), glass.bottomLeft());
    g.setColorAt(0, QColor(22, 28, 26));
    g.setColorAt(1, QColor(8, 12, 10));
    p.setPen(QPen(QColor(70, 80, 76), 1));
    p.setBrush(g);
    p.drawRoundedRect(glass, 6, 6);

    const QRect area = contentsRect().adjusted(10, 0, -12, 0);
    p.setFont(font());
    // Unlit segments: as many "8" places as the display has, right-aligned
    // like the value, so a short value sits on the same grid.
    if (font().family() == ledFamily()) {
        p.setPen(QColor(40, 70, 48));
        p.drawText(area, Qt::AlignRight | Qt::AlignVCenter, QString(places_, u'8'));
    }
    p.setPen(QColor(70, 255, 110));
    p.drawText(area, Qt::AlignRight | Qt::AlignVCenter, text());
}

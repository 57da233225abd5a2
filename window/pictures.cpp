#include "window/pictures.h"

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

const QColor kInk(40, 52, 74);
const QColor kBlue(30, 90, 190);
const QColor kRed(205, 30, 30);

QFont glyphFont(qreal pixels) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qMax(1, qRound(pixels)));
    f.setBold(true);
    return f;
}

void roundBadge(QPainter& p, const QRectF& r, const QColor& fill, const QString& glyph) {
    QRadialGradient g(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() * 0.7);
    g.setColorAt(0, fill.lighter(150));
    g.setColorAt(1, fill);
    p.setPen(QPen(fill.darker(140), qMax(1.0, r.width() / 25)));
    p.setBrush(g);
    p.drawEllipse(r);
    p.setPen(Qt::white);
    p.setFont(glyphFont(r.height() * 0.62));
    p.drawText(r, Qt::AlignCenter, glyph);
}

void usbPlug(QPainter& p, const QRectF& r) {
    // A USB cable end: grey body, metal shell with its two windows, cable.
    const qreal w = r.width(), h = r.height();
    p.setPen(QPen(kInk, qMax(1.0, w / 30)));
    p.setBrush(QColor(60, 60, 66));
    p.drawRoundedRect(QRectF(r.left() + w * 0.30, r.top() + h * 0.40, w * 0.40, h * 0.32), w * 0.05,
                      w * 0.05);
    p.setBrush(QColor(200, 204, 212));
    p.drawRect(QRectF(r.left() + w * 0.34, r.top() + h * 0.12, w * 0.32, h * 0.28));
    p.setBrush(kInk);
    p.drawRect(QRectF(r.left() + w * 0.40, r.top() + h * 0.20, w * 0.06, h * 0.06));
    p.drawRect(QRectF(r.left() + w * 0.54, r.top() + h * 0.20, w * 0.06, h * 0.06));
    p.setPen(QPen(QColor(60, 60, 66), w * 0.10, Qt::SolidLine, Qt::RoundCap));
    QPainterPath cable(QPointF(r.left() + w * 0.5, r.top() + h * 0.72));
    cable.cubicTo(QPointF(r.left() + w * 0.5, r.top() + h * 0.90),
                  QPointF(r.left() + w * 0.25, r.top() + h * 0.85),
                  QPointF(r.left() + w * 0.18, r.top() + h * 0.96));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
}

void cross(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kRed, r.width() * 0.13, Qt::SolidLine, Qt::RoundCap));
    const QRectF c =
        r.adjusted(r.width() * 0.18, r.height() * 0.18, -r.width() * 0.18, -r.height() * 0.18);
    p.drawLine(c.topLeft(), c.bottomRight());
    p.drawLine(c.topRight(), c.bottomLeft());
}

void viewButton(QPainter& p, const QRectF& r, int kind, const QColor& ink) {
    const qreal w = r.width(), h = r.height();
    p.setPen(QPen(ink, qMax(1.5, w / 12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.setFont(glyphFont(h * 0.62));
    if (kind == 0) {
        // Zero: the digit between two arrows pointing at it.
        p.drawText(r, Qt::AlignCenter, QStringLiteral("0"));
        const qreal y = r.center().y();
        p.drawLine(QPointF(r.left() + w * 0.02, y), QPointF(r.left() + w * 0.24, y));
        p.drawLine(QPointF(r.left() + w * 0.16, y - h * 0.1), QPointF(r.left() + w * 0.24, y));
        p.drawLine(QPointF(r.left() + w * 0.16, y + h * 0.1), QPointF(r.left() + w * 0.24, y));
        p.drawLine(QPointF(r.right() - w * 0.02, y), QPointF(r.right() - w * 0.24, y));
        p.drawLine(QPointF(r.right() - w * 0.16, y - h * 0.1), QPointF(r.right() - w * 0.24, y));
        p.drawLine(QPointF(r.right() - w * 0.16, y + h * 0.1), QPointF(r.right() - w * 0.24, y));
    } else if (kind == 1) {
        // Tare: a "T" over a pan.
        p.drawText(r.adjusted(0, -h * 0.12, 0, -h * 0.12), Qt::AlignCenter, QStringLiteral("T"));
        p.drawLine(QPointF(r.left() + w * 0.15, r.bottom() - h * 0.12),
                   QPointF(r.right() - w * 0.15, r.bottom() - h * 0.12));
    } else {
        // Reset of the peak: an arrow going round.
        const QRectF arc = r.adjusted(w * 0.18, h * 0.18, -w * 0.18, -h * 0.18);
        p.drawArc(arc, 60 * 16, 290 * 16);
        const QPointF tip(arc.center().x() + arc.width() / 2 * qCos(qDegreesToRadians(60.0)),
                          arc.center().y() - arc.height() / 2 * qSin(qDegreesToRadians(60.0)));
        p.drawLine(tip, tip + QPointF(-w * 0.16, -h * 0.02));
        p.drawLine(tip, tip + QPointF(w * 0.02, h * 0.16));
    }
}

// Small line drawings for the page buttons, all in the same pen.
void pageGlyph(QPainter& p, const QRectF& r, int page, const QColor& ink) {
    const qreal w = r.width(), h = r.height();
    auto pt = [&](qreal x, qreal y) { return QPointF(r.left() + w * x, r.top() + h * y); };
    p.setPen(QPen(ink, qMax(1.5, w / 14), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (page) {
        case 0:  // home
            p.drawPolyline(QPolygonF({pt(0.1, 0.5), pt(0.5, 0.12), pt(0.9, 0.5)}));
            p.drawPolyline(
                QPolygonF({pt(0.22, 0.42), pt(0.22, 0.88), pt(0.78, 0.88), pt(0.78, 0.42)}));
            p.drawRect(QRectF(pt(0.42, 0.6), pt(0.58, 0.88)));
            break;
        case 1:  // calibration: a balance
            p.drawLine(pt(0.5, 0.12), pt(0.5, 0.86));
            p.drawLine(pt(0.3, 0.86), pt(0.7, 0.86));
            p.drawLine(pt(0.14, 0.26), pt(0.86, 0.26));
            p.drawPolyline(QPolygonF({pt(0.04, 0.58), pt(0.14, 0.26), pt(0.26, 0.58)}));
            p.drawPolyline(QPolygonF({pt(0.74, 0.58), pt(0.86, 0.26), pt(0.96, 0.58)}));
            p.drawLine(pt(0.04, 0.58), pt(0.26, 0.58));
            p.drawLine(pt(0.74, 0.58), pt(0.96, 0.58));
            break;
        case 2:  // parameters: sliders
            for (int i = 0; i < 3; ++i) {
                const qreal y = 0.22 + i * 0.28;
                p.drawLine(pt(0.1, y), pt(0.9, y));
                const qreal x = i == 1 ? 0.66 : (i == 0 ? 0.32 : 0.46);
                p.setBrush(QColor(250, 250, 250));
                p.drawEllipse(pt(x, y), w * 0.08, w * 0.08);
                p.setBrush(Qt::NoBrush);
            }
            break;
        case 4:  // inputs and outputs: arrows in and out
            p.drawLine(pt(0.08, 0.32), pt(0.62, 0.32));
            p.drawPolyline(QPolygonF({pt(0.5, 0.2), pt(0.62, 0.32), pt(0.5, 0.44)}));
            p.drawLine(pt(0.92, 0.68), pt(0.38, 0.68));
            p.drawPolyline(QPolygonF({pt(0.5, 0.56), pt(0.38, 0.68), pt(0.5, 0.8)}));
            break;
        case 5:  // communications: a connector
            p.drawRoundedRect(QRectF(pt(0.14, 0.3), pt(0.86, 0.7)), w * 0.08, w * 0.08);
            for (int i = 0; i < 4; ++i)
                p.drawPoint(pt(0.3 + i * 0.13, 0.5));
            p.drawLine(pt(0.5, 0.7), pt(0.5, 0.92));
            break;
        case 6:  // analog: a sine
        {
            QPainterPath s(pt(0.06, 0.5));
            s.cubicTo(pt(0.22, 0.0), pt(0.34, 0.0), pt(0.5, 0.5));
            s.cubicTo(pt(0.66, 1.0), pt(0.78, 1.0), pt(0.94, 0.5));
            p.drawPath(s);
            break;
        }
        case 7:  // functions: a gear
        {
            const QPointF c = pt(0.5, 0.5);
            for (int i = 0; i < 8; ++i) {
                const qreal a = i * M_PI / 4;
                p.drawLine(c + QPointF(qCos(a), qSin(a)) * w * 0.28,
                           c + QPointF(qCos(a), qSin(a)) * w * 0.42);
            }
            p.drawEllipse(c, w * 0.28, w * 0.28);
            p.drawEllipse(c, w * 0.1, w * 0.1);
            break;
        }
        case 8:  // weight chart
            p.drawPolyline(QPolygonF({pt(0.1, 0.1), pt(0.1, 0.9), pt(0.92, 0.9)}));
            p.drawPolyline(
                QPolygonF({pt(0.18, 0.74), pt(0.38, 0.5), pt(0.56, 0.62), pt(0.86, 0.24)}));
            break;
        case 9:  // backup: a disk
            p.drawPolygon(QPolygonF(
                {pt(0.14, 0.12), pt(0.76, 0.12), pt(0.88, 0.24), pt(0.88, 0.88), pt(0.14, 0.88)}));
            p.drawRect(QRectF(pt(0.3, 0.12), pt(0.68, 0.36)));
            p.drawRect(QRectF(pt(0.26, 0.56), pt(0.76, 0.88)));
            break;
        case 10:  // documents: pages
            p.drawPolygon(QPolygonF(
                {pt(0.2, 0.08), pt(0.62, 0.08), pt(0.82, 0.28), pt(0.82, 0.92), pt(0.2, 0.92)}));
            for (int i = 0; i < 3; ++i)
                p.drawLine(pt(0.32, 0.42 + i * 0.16), pt(0.7, 0.42 + i * 0.16));
            break;
        case 11:  // test: a spanner
        {
            p.drawLine(pt(0.2, 0.8), pt(0.58, 0.42));
            p.drawArc(QRectF(pt(0.5, 0.1), pt(0.9, 0.5)), -45 * 16, 270 * 16);
            break;
        }
        case 12:  // logger: a list with a pen tip
            for (int i = 0; i < 4; ++i) {
                p.drawPoint(pt(0.14, 0.2 + i * 0.2));
                p.drawLine(pt(0.28, 0.2 + i * 0.2), pt(0.86, 0.2 + i * 0.2));
            }
            break;
        case 13:  // factory
            p.drawPolyline(QPolygonF({pt(0.08, 0.9), pt(0.08, 0.46), pt(0.34, 0.3), pt(0.34, 0.46),
                                      pt(0.6, 0.3), pt(0.6, 0.46), pt(0.92, 0.46), pt(0.92, 0.9),
                                      pt(0.08, 0.9)}));
            p.drawLine(pt(0.78, 0.46), pt(0.78, 0.1));
            break;
        default:
            break;
    }
}

QPixmap draw(const QString& name, const QSize& size, const QColor& ink) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(1, 1, size.width() - 2, size.height() - 2);
    if (name == QLatin1String("question")) {
        roundBadge(p, r, kBlue, QStringLiteral("?"));
    } else if (name == QLatin1String("error")) {
        roundBadge(p, r, kRed, QStringLiteral("!"));
    } else if (name == QLatin1String("information")) {
        roundBadge(p, r, QColor(40, 140, 80), QStringLiteral("i"));
    } else if (name == QLatin1String("usb")) {
        usbPlug(p, r);
    } else if (name == QLatin1String("cross")) {
        cross(p, r);
    } else if (name == QLatin1String("0.png") || name == QLatin1String("1.png") ||
               name == QLatin1String("2.png")) {
        viewButton(p, r, name.at(0).digitValue(), ink);
    } else if (name == QLatin1String("home")) {
        pageGlyph(p, r, 0, ink);
    } else if (name == QLatin1String("setup")) {
        pageGlyph(p, r, 7, ink);
    } else if (name.startsWith(QLatin1String("page"))) {
        pageGlyph(p, r, name.mid(4).toInt(), ink);
    }
    return pm;
}

}  // namespace

namespace Pictures {

QPixmap get(const QString& name, const QSize& size, const QColor& ink) {
    static QHash<QString, QPixmap> cache;
    const QColor pen = ink.isValid() ? ink : kInk;
    const QString key = name + QLatin1Char('@') + QString::number(size.width()) + QLatin1Char('x') +
                        QString::number(size.height()) + pen.name();
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, draw(name, size, pen));
    return it.value();
}

QIcon icon(const QString& name, const QSize& size, const QColor& ink) {
    return QIcon(get(name, size, ink));
}

}  // namespace Pictures

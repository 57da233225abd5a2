#include "window/splashscreen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include "window/pictures.h"
#include "window/localization.h"

namespace {

// The product name in a purple-to-fuchsia gradient over a white shadow.
class NameLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        const QFontMetrics fm(font());
        const int x = (width() - fm.horizontalAdvance(text())) / 2;
        const int y = (height() + fm.ascent() - fm.descent()) / 2;
        path.addText(x, y, font(), text());
        p.fillPath(path.translated(2, 2), Qt::white);
        QLinearGradient g(0, 0, width(), 0);
        g.setColorAt(0, QColor(110, 20, 160));
        g.setColorAt(1, QColor(230, 30, 200));
        p.fillPath(path, g);
    }
};

}  // namespace

TSplashScreen::TSplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      lbname_(new NameLabel(QStringLiteral("VELMORA"), this)),
      fade_(new QTimer(this)) {
    setObjectName(QStringLiteral("SplashScreen"));
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(425, 201);
    lbname_->setObjectName(QStringLiteral("lbname"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(52);
    f.setBold(true);
    lbname_->setFont(f);
    lbname_->setGeometry(20, 28, 385, 80);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = geometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    fade_->setInterval(5);
    connect(fade_, &QTimer::timeout, this, &TSplashScreen::fadeStep);
    Localization::windowBuilt(this);
}

void TSplashScreen::showNow() {
    // Without a window system there is no opacity to fade.
    const QString platform = QGuiApplication::platformName();
    const bool fades =
        platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    if (fades)
        setWindowOpacity(0.0);
    show();
    repaint();
    if (fades) {
        fadeClock_.start();
        fade_->start();
    }
    QCoreApplication::processEvents();
}

void TSplashScreen::fadeStep() {
    const qint64 opacity = qMin<qint64>(255, static_cast<qint64>(fadeClock_.elapsed() * 0.6375));
    setWindowOpacity(static_cast<double>(opacity) / 255.0);
    if (opacity >= 255)
        fade_->stop();
}

void TSplashScreen::glideTo(const QPoint& centre, int durationMs) {
    const QPoint start = pos();
    const QPoint target(centre.x() - width() / 2, centre.y() - height() / 2);
    QElapsedTimer clock;
    clock.start();
    for (qint64 t = 0; t < durationMs; t = clock.elapsed()) {
        move(start.x() - static_cast<int>(t * (start.x() - target.x()) / durationMs),
             start.y() - static_cast<int>(t * (start.y() - target.y()) / durationMs));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    move(target);
}

void TSplashScreen::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5);
    QLinearGradient g(card.topLeft(), card.bottomLeft());
    g.setColorAt(0, QColor(160, 160, 255));
    g.setColorAt(1, QColor(128, 128, 255));
    p.setPen(QPen(QColor(20, 40, 200), 3));
    p.setBrush(g);
    p.drawRoundedRect(card, 22, 22);

    const QSize pic(44, 44);
    const char* names[] = {"page1", "page8", "usb", "page7"};
    const int gap = 24;
    int x = (width() - (4 * pic.width() + 3 * gap)) / 2;
    for (const char* name : names) {
        QRectF tile(x - 6, 122, pic.width() + 12, pic.height() + 12);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawRoundedRect(tile, 10, 10);
        p.drawPixmap(x, 128, Pictures::get(QString::fromLatin1(name), pic));
        x += pic.width() + gap;
    }
}

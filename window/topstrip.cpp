#include "window/topstrip.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QStyle>
#include <QToolButton>

#include "base/texts.h"
#include "ui_topstrip.h"
#include "window/pictures.h"

namespace {
const QColor kOnlineColor(204, 255, 204), kOnlineColorTo(153, 235, 141);
const QColor kOfflineColor(255, 204, 204), kOfflineColorTo(235, 141, 153);
}  // namespace

TopStrip::TopStrip(QWidget* parent)
    : QWidget(parent),
      ui(new Ui::TopStrip),
      opacity_(new QGraphicsOpacityEffect(this)),
      fade_(new QPropertyAnimation(opacity_, "opacity", this)) {
    ui->setupUi(this);
    setFixedHeight(kSize.height());
    setMinimumWidth(0);

    ui->img_usbB->setPixmap(Pictures::get(QStringLiteral("usb"), QSize(80, 80)));
    ui->img_xB->setPixmap(Pictures::get(QStringLiteral("cross"), QSize(80, 80)));
    QFont big = font();
    big.setPixelSize(36);
    big.setBold(true);
    ui->lb_offlineB->setFont(big);
    ui->lb_offlineB->setStyleSheet(QStringLiteral("color: #d01818;"));
    QFont address = font();
    address.setPixelSize(34);
    address.setBold(true);
    ui->lbaddress->setFont(address);
    QFont small = font();
    small.setPixelSize(12);
    for (QLabel* l : ui->Pan_infoB->findChildren<QLabel*>())
        l->setFont(small);
    ui->lbsignal1->setFont(small);
    QFont indicator = font();
    indicator.setPixelSize(12);
    indicator.setBold(true);
    for (QLabel* l : {static_cast<QLabel*>(ui->Pan_NET), static_cast<QLabel*>(ui->Pan_stabile),
                      static_cast<QLabel*>(ui->Pan_min), ui->lbtipopeso})
        l->setFont(indicator);
    for (QWidget* w : {static_cast<QWidget*>(ui->Pan_infoB), static_cast<QWidget*>(ui->Pan_add),
                       static_cast<QWidget*>(ui->Pan_tipo)}) {
        w->setAutoFillBackground(true);
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, QColor(255, 255, 255, 150));
        w->setPalette(pal);
    }

    // White buttons; the page shown has its button green (#008000).
    const QString buttons = QStringLiteral(
        "QToolButton { background: #ffffff; border: 1px solid #7d927d; border-radius: 6px;"
        " font-weight: bold;"
        " padding: 2px; }"
        "QToolButton:hover { border: 2px solid #2f6f2f; }"
        "QToolButton:pressed { background: #dfe9df; }"
        "QToolButton[current=\"true\"] { background: #008000; color: #ffffff;"
        " border-color: #004d00; }"
        "QToolButton:disabled { background: #eeeeee; color: #a4a4a4; border-color: #c4c4c4; }");
    ui->SP1->setStyleSheet(buttons);
    ui->Bthome->setStyleSheet(buttons);
    ui->BtSetup->setIcon(Pictures::icon(QStringLiteral("setup"), QSize(44, 44)));
    ui->Bthome->setIcon(Pictures::icon(QStringLiteral("setup"), QSize(44, 44)));
    for (int page : pageNumbers()) {
        QToolButton* b = pageButton(page);
        b->setIcon(Pictures::icon(QStringLiteral("page") + QString::number(page), QSize(44, 44)));
        connect(b, &QToolButton::clicked, this, [this, page] { Q_EMIT pageButtonClicked(page); });
    }
    connect(ui->BtSetup, &QToolButton::clicked, this, &TopStrip::setupClicked);
    connect(ui->Bthome, &QToolButton::clicked, this, &TopStrip::setupClicked);

    opacity_->setOpacity(1.0);
    ui->SP1->setGraphicsEffect(opacity_);
    fade_->setDuration(kFadeMs);
    connect(fade_, &QPropertyAnimation::finished, this, [this] {
        if (fadingOut_)
            ui->SP1->hide();
    });
    connect(ui->SP2, &GradientPanel::entered, this, &TopStrip::fadeIn);
    connect(ui->SP2, &GradientPanel::left, this, [this] { autoHide_ = false; });
    connect(ui->SP1, &GradientPanel::mouseMoved, this, &TopStrip::sp1MouseMove);
    connect(ui->SP1, &GradientPanel::left, this, [this] {
        if (autoHide_ && !(closing_ && closing_()))
            fadeOut();
    });
    setOnlineColors(false);
    // The window starts in the offline look, which hides the menu bar.
    hideMenuBarNow();
}

TopStrip::~TopStrip() {
    delete ui;
}

void TopStrip::setConditions(std::function<bool()> closing, std::function<bool()> online) {
    closing_ = std::move(closing);
    online_ = std::move(online);
}

void TopStrip::setOnlineColors(bool online) {
    const QColor c = online ? kOnlineColor : kOfflineColor;
    const QColor to = online ? kOnlineColorTo : kOfflineColorTo;
    for (GradientPanel* p : {ui->SP1, ui->SP2})
        p->setColors(c, to, to, c);
}

void TopStrip::hideMenuBarNow() {
    fade_->stop();
    fadingOut_ = false;
    ui->SP1->hide();
}

void TopStrip::fadeIn() {
    fade_->stop();
    fadingOut_ = false;
    if (!ui->SP1->isVisible())
        opacity_->setOpacity(0.0);
    ui->SP1->show();
    ui->SP1->raise();
    fade_->setStartValue(opacity_->opacity());
    fade_->setEndValue(1.0);
    fade_->start();
}

void TopStrip::fadeOut() {
    if (ui->SP1->isHidden() || fadingOut_)
        return;
    fade_->stop();
    fadingOut_ = true;
    fade_->setStartValue(opacity_->opacity());
    fade_->setEndValue(0.0);
    fade_->start();
}

bool TopStrip::menuBarShown() const {
    return !ui->SP1->isHidden() && !fadingOut_;
}

void TopStrip::sp1MouseMove(const QPoint& p) {
    // Near the strip's edges the pointer is on its way out.
    autoHide_ = p.y() < 10 || p.x() < 10 || p.y() > 100 || p.x() > 900;
}

void TopStrip::windowMouseMoved() {
    if (autoHide_ || (closing_ && closing_()))
        return;
    autoHide_ = true;
    if (online_ && online_())
        fadeOut();
}

void TopStrip::windowLeft() {
    if (autoHide_ && !(closing_ && closing_()))
        fadeOut();
}

QToolButton* TopStrip::pageButton(int page) const {
    if (page < 1 || page > 13 || page == 3)
        return nullptr;
    return ui->SP1->findChild<QToolButton*>(QStringLiteral("Button") + QString::number(page));
}

QList<int> TopStrip::pageNumbers() const {
    return {1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
}

QToolButton* TopStrip::setupButton() const {
    return ui->BtSetup;
}
QToolButton* TopStrip::homeButton() const {
    return ui->Bthome;
}

void TopStrip::setSetupCaption(const QString& caption) {
    ui->BtSetup->setText(caption);
    ui->Bthome->setText(caption);
    const QString picture =
        caption == tr_("Setup") ? QStringLiteral("setup") : QStringLiteral("home");
    ui->BtSetup->setIcon(Pictures::icon(picture, QSize(44, 44)));
    ui->Bthome->setIcon(Pictures::icon(picture, QSize(44, 44)));
}

void TopStrip::markCurrent(int page, bool current) {
    QToolButton* b = pageButton(page);
    if (!b)
        return;
    b->setProperty("current", current);
    b->style()->unpolish(b);
    b->style()->polish(b);
    b->setIcon(Pictures::icon(QStringLiteral("page") + QString::number(page), QSize(44, 44),
                              current ? QColor(Qt::white) : QColor()));
}

bool TopStrip::isMarkedCurrent(int page) const {
    const QToolButton* b = pageButton(page);
    return b && b->property("current").toBool();
}

void TopStrip::setViewText(const QString& text) {
    ui->lbtipopeso->setText(text);
}

void TopStrip::showOfflineMarks(bool shown) {
    ui->lb_offlineB->setVisible(shown);
    ui->img_usbB->setVisible(shown);
    ui->img_xB->setVisible(shown);
}

void TopStrip::toggleCross() {
    ui->img_xB->setVisible(ui->img_xB->isHidden());
}

#include "window/progresswindow.h"

#include "ui_pbar.h"
#include "window/localization.h"

TPbar::TPbar(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui(new Ui::TPbar) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(363, 42);
    ui->PB1->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid #5a6a5a; border-radius: 3px; background: #f4f4f4; }"
        "QProgressBar::chunk { background: #00ff00; }"));
    Localization::windowBuilt(this);
}

TPbar::~TPbar() {
    delete ui;
}

void TPbar::setMaximum(int maximum) {
    ui->PB1->setMaximum(maximum);
}
void TPbar::setPosition(int position) {
    ui->PB1->setValue(position);
}
int TPbar::position() const {
    return ui->PB1->value();
}
int TPbar::maximum() const {
    return ui->PB1->maximum();
}

void TPbar::centreOver(const QWidget* window) {
    if (!window)
        return;
    QRect r = geometry();
    r.moveCenter(window->frameGeometry().center());
    move(r.topLeft());
}

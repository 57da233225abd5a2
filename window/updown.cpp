#include "window/updown.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

UpDown::UpDown(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        column->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::setRange(int min, int max) {
    min_ = min;
    max_ = max;
}

void UpDown::step(int delta) {
    if (!buddy_)
        return;
    bool ok = false;
    int value = buddy_->text().toInt(&ok);
    if (!ok)
        value = min_;
    value = qBound(min_, value + delta, max_);
    buddy_->setText(QString::number(value));
}

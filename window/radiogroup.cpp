#include "window/radiogroup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(QWidget* parent) : QGroupBox(parent), buttons_(new QButtonGroup(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 2, 8, 4);
    row->setSpacing(10);
    connect(buttons_, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
}

void RadioGroup::setItems(const QStringList& items) {
    const int selected = itemIndex();
    const QList<QAbstractButton*> old = buttons_->buttons();
    for (QAbstractButton* b : old) {
        buttons_->removeButton(b);
        delete b;
    }
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items.at(i), this);
        b->setObjectName(objectName() + QStringLiteral("_") + QString::number(i));
        buttons_->addButton(b, i);
        layout()->addWidget(b);
    }
    setItemIndex(selected);
}

QStringList RadioGroup::items() const {
    QStringList out;
    for (QAbstractButton* b : buttons_->buttons())
        out << b->text();
    return out;
}

int RadioGroup::itemIndex() const {
    return buttons_->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (QAbstractButton* b = buttons_->button(index)) {
        b->setChecked(true);
    } else if (QAbstractButton* checked = buttons_->checkedButton()) {
        buttons_->setExclusive(false);
        checked->setChecked(false);
        buttons_->setExclusive(true);
    }
}

QString RadioGroup::itemText(int index) const {
    QAbstractButton* b = buttons_->button(index);
    return b ? b->text() : QString();
}

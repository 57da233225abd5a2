#include "window/controlapplier.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>

#include "device/controlmodel.h"
#include "window/radiogroup.h"

QWidget* ControlApplier::find(const QString& name) {
    auto it = cache_.find(name);
    if (it != cache_.end() && it.value())
        return it.value();
    QWidget* w = root_->findChild<QWidget*>(name);
    if (w)
        cache_.insert(name, w);
    return w;
}

namespace {

bool setText(QWidget* w, const QString& text) {
    if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(text);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(text);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        // A combo box's text is its selected item's; an editable box takes any.
        if (c->isEditable())
            c->setEditText(text);
        else
            c->setCurrentIndex(c->findText(text));
    } else if (auto* r = qobject_cast<RadioGroup*>(w)) {
        r->setItemIndex(r->items().indexOf(text));
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        p->setPlainText(text);
    } else {
        return false;
    }
    return true;
}

bool setIndex(QWidget* w, int index) {
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
    } else if (auto* r = qobject_cast<RadioGroup*>(w)) {
        r->setItemIndex(index);
    } else {
        return false;
    }
    return true;
}

bool setItems(QWidget* w, const QStringList& items) {
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->clear();
        c->addItems(items);
        c->setCurrentIndex(-1);
    } else if (auto* r = qobject_cast<RadioGroup*>(w)) {
        r->setItems(items);
        r->setItemIndex(-1);
    } else {
        return false;
    }
    return true;
}

// Same length: the texts change in place and the selection stays, so a
// language change never drops what the instrument or the user chose.
bool retitleItems(QWidget* w, const QStringList& items) {
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->count() != items.size())
            return setItems(w, items);
        for (int i = 0; i < items.size(); ++i)
            c->setItemText(i, items.at(i));
    } else if (auto* r = qobject_cast<RadioGroup*>(w)) {
        const int index = r->items().size() == items.size() ? r->itemIndex() : -1;
        r->setItems(items);
        r->setItemIndex(index);
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool ControlApplier::apply(const ControlUpdate& u) {
    QWidget* w = find(u.control);
    if (!w)
        return false;
    const QSignalBlocker quiet(w);
    switch (u.what) {
        case ControlUpdate::What::Text:
            return setText(w, u.text);
        case ControlUpdate::What::Index:
            return setIndex(w, u.index);
        case ControlUpdate::What::Items:
            return setItems(w, u.items);
        case ControlUpdate::What::Retitle:
            return retitleItems(w, u.items);
        case ControlUpdate::What::Visible:
            w->setVisible(u.flag);
            return true;
        case ControlUpdate::What::Enabled:
            w->setEnabled(u.flag);
            return true;
    }
    return false;
}

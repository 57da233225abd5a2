#include "device/controlmodel.h"

#include <algorithm>

ControlUpdate ControlUpdate::setText(const QString& control, const QString& text) {
    ControlUpdate u;
    u.control = control;
    u.what = What::Text;
    u.text = text;
    return u;
}

ControlUpdate ControlUpdate::setIndex(const QString& control, int index) {
    ControlUpdate u;
    u.control = control;
    u.what = What::Index;
    u.index = index;
    return u;
}

ControlUpdate ControlUpdate::setItems(const QString& control, const QStringList& items) {
    ControlUpdate u;
    u.control = control;
    u.what = What::Items;
    u.items = items;
    return u;
}

ControlUpdate ControlUpdate::retitleItems(const QString& control, const QStringList& items) {
    ControlUpdate u = setItems(control, items);
    u.what = What::Retitle;
    return u;
}

ControlUpdate ControlUpdate::setVisible(const QString& control, bool visible) {
    ControlUpdate u;
    u.control = control;
    u.what = What::Visible;
    u.flag = visible;
    return u;
}

ControlUpdate ControlUpdate::setEnabled(const QString& control, bool enabled) {
    ControlUpdate u;
    u.control = control;
    u.what = What::Enabled;
    u.flag = enabled;
    return u;
}

void ControlModel::apply(const ControlUpdate& u) {
    ControlState& s = controls_[u.control];
    switch (u.what) {
        case ControlUpdate::What::Text:
            s.text = u.text;
            break;
        case ControlUpdate::What::Index:
            // Like a list box: an index outside the list selects nothing.
            s.index = (u.index >= 0 && u.index < s.items.size()) ? u.index : -1;
            s.text = s.index >= 0 ? s.items.at(s.index) : QString();
            break;
        case ControlUpdate::What::Items:
            s.items = u.items;
            s.index = -1;
            s.text.clear();
            break;
        case ControlUpdate::What::Retitle:
            if (u.items.size() != s.items.size())
                s.index = -1;
            s.items = u.items;
            s.text = s.index >= 0 ? s.items.at(s.index) : QString();
            break;
        case ControlUpdate::What::Visible:
            s.visible = u.flag;
            break;
        case ControlUpdate::What::Enabled:
            s.enabled = u.flag;
            break;
    }
}

void ControlModel::setText(const QString& control, const QString& text) {
    apply(ControlUpdate::setText(control, text));
}
void ControlModel::setIndex(const QString& control, int index) {
    apply(ControlUpdate::setIndex(control, index));
}
void ControlModel::setItems(const QString& control, const QStringList& items) {
    apply(ControlUpdate::setItems(control, items));
}
void ControlModel::setVisible(const QString& control, bool visible) {
    apply(ControlUpdate::setVisible(control, visible));
}
void ControlModel::setEnabled(const QString& control, bool enabled) {
    apply(ControlUpdate::setEnabled(control, enabled));
}

void ControlModel::publish(const ControlUpdate& update) {
    apply(update);
    if (hook_)
        hook_(update);
    else
        pending_.append(update);
}

QList<ControlUpdate> ControlModel::takeUpdates() {
    QList<ControlUpdate> out;
    out.swap(pending_);
    return out;
}

void ControlModel::setHook(Hook hook) {
    hook_ = std::move(hook);
    if (!hook_)
        return;
    const QList<ControlUpdate> queued = takeUpdates();
    for (const ControlUpdate& u : queued)
        hook_(u);
}

QList<ControlUpdate> ControlModel::snapshot() const {
    QStringList names = controls_.keys();
    std::sort(names.begin(), names.end());
    QList<ControlUpdate> out;
    for (const QString& name : names) {
        const ControlState& s = controls_[name];
        if (!s.items.isEmpty()) {
            out.append(ControlUpdate::setItems(name, s.items));
            if (s.index >= 0)
                out.append(ControlUpdate::setIndex(name, s.index));
        }
        // A combo box's selection already brings its text; only a different
        // text (or any edit's text) needs its own update.
        const QString implied = s.index >= 0 ? s.items.at(s.index) : QString();
        if (s.items.isEmpty() || s.text != implied)
            out.append(ControlUpdate::setText(name, s.text));
        out.append(ControlUpdate::setVisible(name, s.visible));
        out.append(ControlUpdate::setEnabled(name, s.enabled));
    }
    return out;
}

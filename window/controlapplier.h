#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

struct ControlUpdate;

// Applies the core's control updates to the widgets of one window, found by
// objectName, with each widget's signals blocked so that showing a value
// never runs its change handler. Names the window does not have (controls of
// pages that come later) are skipped.
class ControlApplier {
public:
    explicit ControlApplier(QWidget* root) : root_(root) {}

    // False when the window has no control of that name or the control
    // cannot take that kind of update.
    bool apply(const ControlUpdate& update);
    QWidget* find(const QString& name);

private:
    QWidget* root_;
    QHash<QString, QPointer<QWidget>> cache_;
};

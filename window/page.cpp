#include "window/page.h"

#include <QComboBox>
#include <QSignalBlocker>

#include "session/pagecontext.h"

void Page::claimControls() {
    QStringList names;
    for (const QWidget* w : findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            names.append(w->objectName());
    ctx_.setOwnControls(names);
}

void Page::loadCombo(QComboBox* box) {
    const ControlState s = ctx_.control(box->objectName());
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItems(s.items);
    box->setCurrentIndex(s.index >= 0 && s.index < box->count() ? s.index : -1);
    box->setVisible(s.visible);
}

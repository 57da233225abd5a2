#include "window/page.h"

#include "session/pagecontext.h"

void Page::claimControls() {
    QStringList names;
    for (const QWidget* w : findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            names.append(w->objectName());
    ctx_.setOwnControls(names);
}

#include "window/localization.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QWidget>

#include "window/localizeradapter.h"

namespace {
// Set on a window once it has been through windowBuilt().
const char* const kBuilt = "velmoraWindowBuilt";
}  // namespace

Localization& Localization::instance() {
    // Never destroyed: tr_() may still be called while statics go away.
    static Localization* self = new Localization;
    return *self;
}

Localization::Localization() {
    localizer_.hookTexts();
    localizer_.TranslateScreen = [this] { translateScreen(); };
    localizer_.MessageHook = [](const QString& text) {
        QMessageBox::critical(nullptr, QStringLiteral("T.M.L. Error"), text);
    };
    // A window whose constructor does not announce itself is still
    // translated, when it is first polished.
    if (qApp)
        qApp->installEventFilter(this);
}

void Localization::windowBuilt(QWidget* window) {
    Localization& self = instance();
    window->setProperty(kBuilt, true);
    if (self.localizer_.autoTranslate())
        self.translate(window);
}

void Localization::translate(QWidget* window) {
    for (const QString& name : LocalizerAdapter::sections(window)) {
        const TResForm* form = localizer_.section(name);
        if (!form)
            continue;
        for (qsizetype i = 0; i < form->Props.size(); ++i) {
            QString error;
            if (!LocalizerAdapter::setProperty(window, form->Props[i], form->Values[i], &error))
                localizer_.report(error);
        }
    }
}

void Localization::translateScreen() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->property(kBuilt).toBool() || !LocalizerAdapter::sections(w).isEmpty())
            translate(w);
}

bool Localization::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Polish && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w->isWindow() && !w->property(kBuilt).isValid() &&
            !LocalizerAdapter::sections(w).isEmpty())
            windowBuilt(w);
    }
    return QObject::eventFilter(watched, event);
}

#pragma once

#include <QObject>

#include "localizer/freelocalizer.h"

class QWidget;

// The process's one localizer and its widget side. It routes every tr_()
// through the loaded language, applies the form sections to the open
// windows when a file loads, and, while AutoTranslate is on, translates
// each window right after it is built. Created on first use, before the
// first window, and kept for the life of the process.
class Localization : public QObject {
    Q_OBJECT
public:
    static Localization& instance();
    static TFreeLocalizer& localizer() { return instance().localizer_; }

    // Every window calls this at the end of its constructor, after its
    // design texts are in place and before the program sets run-time ones.
    static void windowBuilt(QWidget* window);

    // Applies the sections of the window's class chain, ancestors first.
    // Problems go to the localizer's report.
    void translate(QWidget* window);
    // translate() on every open window of the program.
    void translateScreen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Localization();
    TFreeLocalizer localizer_;
};

#pragma once

#include <QWidget>

class PageContext;
class QComboBox;

// One page of the main window's stacked area, built on its context: all
// the core it may touch. The page's number is the number in the names of
// its panel ("Panel" + n) and of its button. The main window calls the
// hooks on every page alike.
class Page : public QWidget {
    Q_OBJECT
public:
    explicit Page(PageContext& context, QWidget* parent = nullptr)
        : QWidget(parent), ctx_(context) {}
    virtual int number() const = 0;

    // The settings file has been read (at start-up, and again before the
    // port opens).
    virtual void settingsLoaded() {}
    // The window is shown for the first time.
    virtual void windowShown() {}
    // The window is closing: whatever runs by itself on the page stops.
    virtual void windowClosing() {}
    // Another language has been chosen and applied to the design texts:
    // the page sets again the texts it writes at run time.
    virtual void languageChanged() {}

protected:
    PageContext& context() { return ctx_; }
    // Claims every named child control as the page's own in the context;
    // call once the form is built.
    void claimControls();
    // A box of the page as the core's mirror has it: its list, its
    // selection, shown or not; no change handler runs.
    void loadCombo(QComboBox* box);

private:
    PageContext& ctx_;
};

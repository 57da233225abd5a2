#pragma once

#include <QList>
#include <QString>

struct ControlUpdate;
struct LiveResult;

// What the core asks the user's view to show. The main window implements it
// with widgets, the CLI by printing, tests by recording. Every call arrives
// on the main thread. The defaults do nothing, so a front end implements
// only what it shows.
class Presentation {
public:
    virtual ~Presentation() = default;

    // Status bar SB1 panel 0 or 1.
    virtual void setStatusText(int panel, const QString& text) {
        Q_UNUSED(panel);
        Q_UNUSED(text);
    }
    // Hourglass while an exchange runs; false restores the arrow.
    virtual void setBusyCursor(bool busy) { Q_UNUSED(busy); }
    // Control values, lists, visibility and enabling computed by the core,
    // applied by objectName with the control's change handler blocked.
    virtual void applyControlUpdates(const QList<ControlUpdate>& updates) { Q_UNUSED(updates); }
    // The window's own part of the online/offline looks: header colours, the
    // blinking cross, the menu bar.
    virtual void applyLook(bool online) { Q_UNUSED(online); }
    // After each live reply: lamps, indicator panels, chart points and the
    // status bar texts (the labels arrive as control updates before it).
    virtual void liveRefresh(const LiveResult& result) { Q_UNUSED(result); }
    // Read-out progress window: shown only when the program is in the
    // foreground (the front end decides), advanced per entry, closed.
    virtual void showProgress(int maximum) { Q_UNUSED(maximum); }
    virtual void setProgress(int value) { Q_UNUSED(value); }
    virtual void closeProgress() {}
    virtual void setMainWindowEnabled(bool enabled) { Q_UNUSED(enabled); }
    virtual void setWindowTitle(const QString& title) { Q_UNUSED(title); }
    // The calibration page's "Send" button turns orange (255, 128, 0) after a
    // connection attempt or a restore.
    virtual void setSendButtonOrange() {}
    // Label7: writes being built.
    virtual void setPendingWrites(int count) { Q_UNUSED(count); }
    // The question box: mode 0 yes/no (returns the answer), 1 error, other
    // information. A front end without a user answers no.
    virtual bool domanda(const QString& text, int mode) {
        Q_UNUSED(text);
        Q_UNUSED(mode);
        return false;
    }
};

#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "base/fdati.h"
#include "device/controlmodel.h"
#include "device/decoding.h"
#include "link/outcome.h"

class Session;

// The one way into the core for a page or dialog: the write path, the
// request builders, the question box, the display state, the link's status
// and the page's own controls in the control model. A page never reaches
// the session, the link or another page behind it.
class PageContext : public QObject {
    Q_OBJECT
public:
    explicit PageContext(Session& session, QObject* parent = nullptr);

    // ---- writing values (the write path, by role and text) ----
    Outcome writeParameter(int role, const QString& text);
    // As writeParameter, but an unchanged value is sent too.
    Outcome forceWrite(int role, const QString& text);
    // The stored value text of the entry of a role; empty when the
    // definition in use has no such role.
    QString valueOfRole(int role) const;
    bool hasRole(int role) const;

    // ---- requests ----
    // Reads one setup entry (by role) back from the instrument and shows it.
    Outcome readBack(int role);
    Outcome sendCommand(quint8 code);
    // A digital output test: output 0 or 1, on or off.
    Outcome writeOutput(int output, bool on);

    // ---- the question box ----
    bool ask(const QString& text);
    void showError(const QString& text);

    // ---- display and link state ----
    const DisplayState& display() const;
    // The show-entry conversions of weight-like values (counts ↔ divisions).
    QString scaleDown(const QString& text) const;
    QString scaleUp(const QString& text) const;
    bool online() const;
    bool offlineMode() const;
    // 0 ready, 1 answered, 2 failed, 3 value refused.
    int linkStatus() const;
    bool unsaved() const;
    // Output and analog tests: writes during one do not count as unsaved
    // changes, and a page change ends them.
    void setOutputTest(bool running);
    void setAnalogTest(bool running);

    // ---- the instrument's address and the weight view ----
    // The address stored in the settings.
    QString storedAddress() const;
    // Every request goes to this address from now on; the settings and the
    // address label follow.
    void setWorkingAddress(int address, const QString& text);
    // 0 Gross, 1 Net, 2 Peak (Peak polls the peak weight); the top strip
    // shows the view's name.
    void setView(int index, const QString& text);

    // ---- the page's own controls ----
    // The controls this page owns; publishing to any other is refused.
    void setOwnControls(const QStringList& names);
    QStringList ownControls() const { return own_.values(); }
    // Hands an update of one of the page's own controls to the mirror and
    // the front end; false (and a log line) for a control of another page.
    bool publish(const ControlUpdate& update);
    // What the mirror holds for a control (any page's: reading is harmless).
    ControlState control(const QString& name) const;
    // The user's own change, into the mirror only.
    void userChanged(const ControlUpdate& update);

    // ---- backup / restore and data logger pages ----
    // The session, opaque to a page: only the services layer's sequences
    // (backup, restore, reset) take it, so the page runs the very code the
    // command line runs without reaching behind its context.
    Session& serviceCore() { return s_; }
    // Held while a file dialog of the backup or restore is open: the
    // transmit thread sends nothing meanwhile.
    void setExclusiveUse(bool exclusive);
    // A request builder holds the line (canale_occupato).
    bool builderBusy() const;
    // The settings record: read at start, written at close.
    fdati& settings();

Q_SIGNALS:
    void onlineChanged(bool online);
    void unsavedChanged(bool unsaved);

private:
    Session& s_;
    QSet<QString> own_;
};

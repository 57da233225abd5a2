#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

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
    // Counts the live readings; the display may be stale while it stands still.
    quint64 liveReadings() const;
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

    // ---- Communications, Analogic and Functions pages ----
    // A fieldbus protocol chosen by hand (CBProt2's index is in the mirror
    // already): the bauds, the network controls, the address limit and the
    // analog availability follow; the documents page's "Open File Fieldbus"
    // is shown for PROFIBUS only, and the fieldbus caption names `text`.
    void fieldbusProtocolChosen(const QString& text);
    // The instrument took a new serial address: every request goes there
    // from now on, and the home page's field, its label and the settings
    // follow.
    void followInstrumentAddress(int address);
    // The window colour as the settings hold it: 0x00BBGGRR in decimal.
    QString storedFormColour() const;
    // ---- factory page, hardware test page and the analog regulation ----
    // True while a request builder holds the line (canale_occupato); a
    // test step started then is dropped.
    bool lineBusy() const;
    bool outputTestRunning() const;
    bool analogTestRunning() const;
    // Ends a running output test, analog test or regulation (role 8 := "0",
    // both flags cleared); NotSent (None) when none ran. The same end as a
    // page change, closing the window or offline mode.
    Outcome endRunningTests();
    // The analog test level the live refresh previews while the analog test
    // runs: the position of the track bar that is moved, 0 to 100.
    void setAnalogTestLevel(int percent);
    // "Exit" of the analog tools: every page that shows them closes them.
    void closeAnalogTools();
    // ---- calibration page ----
    // Sets a role's value text without writing it: "0" makes the next write
    // of that role go out even when it repeats the instrument's value.
    void setValueText(int role, const QString& text);
    // Decimals, mask and division step from CBUnit as the mirror holds it;
    // the weight-like fields are reformatted.
    void refreshDecimals();
    // The used weight (full scale) in display units. Its count of the last
    // decimal, the bound of the weight fields, is clamped to the signed
    // 32-bit range instead of wrapping.
    void setUsedWeight(double usedWeight);
    // The analog full-scale field follows a newly sent used weight.
    void showAnalogFullScale(const QString& text);
    // False when the entry of a role cannot take the text (not a number, or
    // outside its type's range), so a sequence of writes can be refused
    // before its first one goes out. A role the definition lacks is the
    // write path's to report.
    bool acceptsValue(int role, const QString& text) const;
    // ---- backup / restore page ----
    // Held while a file dialog of the backup or restore is open: the
    // transmit thread sends nothing meanwhile.
    void setExclusiveUse(bool exclusive);
    // The folder of the last backup or restore file; the settings keep it.
    QString backupFolder() const;
    void keepBackupFolder(const QString& folder);
    // ---- data logger page: its own four settings, kept at close ----
    struct LoggerSetup {
        QString file;
        QString interval;
        QString mode;
        QString count;
    };
    LoggerSetup loggerSetup() const;
    void keepLoggerSetup(const LoggerSetup& setup);

Q_SIGNALS:
    void onlineChanged(bool online);
    void unsavedChanged(bool unsaved);
    // The analog regulation and test tools were closed by an "Exit".
    void analogToolsClosed();

private:
    Session& s_;
    QSet<QString> own_;
};

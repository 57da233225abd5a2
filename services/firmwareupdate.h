#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class Session;

// The firmware update: the configurator lets go of the serial port, starts
// the external programming tool (AvrProg/AvrProg, or AvrProg.exe) and
// waits until no process of that name runs, then lets the port-recovery
// timer reconnect. While it waits, aggiornamento_fw is set: the transmit
// thread sends nothing, port recovery and hot-plug leave the port alone
// and the main window refuses to close.
//
// The wait is a timer that looks at the process list every 200 ms, so the
// main thread goes on serving the window meanwhile and a second start adds
// no second wait: it only starts the tool once more.
class FirmwareUpdate : public QObject {
    Q_OBJECT
public:
    static constexpr int kCheckIntervalMs = 200;
    static constexpr char kToolName[] = "AvrProg";

    explicit FirmwareUpdate(Session& session, QObject* parent = nullptr);

    // The "Update" button.
    void start();
    bool waiting() const { return check_.isActive(); }

    // The tool in the shipped AvrProg folder; empty when it is not there.
    static QString toolPath();

Q_SIGNALS:
    // No process of the tool runs any more; reconnection is under way.
    void finished();

private:
    void check();
    void finish();

    Session& s_;
    QTimer check_;
};

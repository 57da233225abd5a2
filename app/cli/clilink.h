#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

#include "app/cli/cliargs.h"
#include "app/cli/clioutput.h"
#include "app/cli/clipresentation.h"
#include "app/cli/clisignals.h"
#include "session/session.h"

// The CLI's session with one instrument: the core Session configured from
// the settings file and the options, opened and connected through the
// window's own procedures, and stopped cleanly however the run ends.
//
// A one-shot command must never continue on a link that went away: the
// core's recovery would reconnect and read the instrument back into the
// image in the middle of a restore. So when the port is unplugged, the
// instrument stops answering, or Ctrl+C arrives, the link is cut: nothing
// more goes on the wire, the transmit thread is asked to end, and every
// request builder returns at once, so the running sequence unwinds quickly.
// watch and log instead ride out a lost link and resume when it returns.
class CliLink : public QObject {
    Q_OBJECT
public:
    CliLink(const CliOptions& options, const CliOutput& out, QObject* parent = nullptr);
    ~CliLink() override;

    Session& session() { return session_; }
    CliPresentation& presentation() { return presentation_; }
    QString portName() const { return port_; }
    QString speed() const { return speed_; }
    int address() const { return address_; }

    // Opens the port without connecting (search).
    void openPort();
    // Opens the port and runs the connect procedure. Throws CliError.
    void connectInstrument();
    // watch and log: keep running through a lost link.
    void setResilient(bool on) { resilient_ = on; }

    bool interrupted() const { return CliSignals::interrupted(); }
    bool unplugged() const { return unplugged_; }
    bool lost() const { return lost_; }
    // Throws the error for an interrupted run or a lost link; `during`
    // completes "... during the backup".
    void throwIfAborted(const QString& during) const;
    bool aborted() const { return interrupted() || (!resilient_ && (lost_ || unplugged_)); }

    // Lets events run until `done`, an abort, or timeoutMs (-1: no limit).
    bool waitFor(const std::function<bool()>& done, int timeoutMs);
    // Stops timers and the transmit thread and closes the port; once.
    void finish();

Q_SIGNALS:
    void onlineChanged(bool online);
    // Ctrl+C or SIGTERM arrived; the link has already been cut.
    void interruptedNow();

private:
    void loadSettings();
    void prepareCore();
    CliError openError() const;
    bool portMayExist() const;
    void cut();
    void onInterrupt();
    void onRemoved();
    void onOnline(bool online);
    void onReconnectTick();

    const CliOptions& options_;
    const CliOutput& out_;
    CliPresentation presentation_;
    Session session_;
    CliSignals signals_;
    QTimer reconnect_;
    QString port_;
    QString speed_;
    int address_ = 1;
    bool resilient_ = false;
    bool connected_ = false;
    bool identified_ = false;
    bool unplugged_ = false;
    bool lost_ = false;
    bool finished_ = false;
    // How long an interrupt waits for a builder before it ends a test.
    std::optional<QDeadlineTimer> interruptDeadline_;
};

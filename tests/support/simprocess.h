#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// velmora-sim as a child process for integration tests. It runs with
// --stdin-control and a traffic log (a temporary file unless the arguments
// name one); start() waits for its "PTY <path>" line. Every wait is bounded
// by a deadline. The destructor stops the child: "quit", a bounded wait,
// then kill.
class SimProcess {
public:
    explicit SimProcess(const QStringList& extraArgs = {}, const QString& program = programPath());
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The velmora-sim of this build; empty when the build has none.
    static QString programPath();

    bool start(int timeoutMs = 10000);
    bool isRunning() const { return proc_.state() != QProcess::NotRunning; }
    // The pty's path; updated by every "PTY" line (a replug gives a new one).
    QString ptyPath() const { return pty_; }
    QString trafficPath() const { return traffic_; }
    // Why start() or send() failed, with what the child wrote to stderr.
    QString errorString() const { return error_; }

    // Sends a control command (load, unplug, replug, input, status, quit) and
    // returns its answer line: "OK ...", "ERR ..." or "STATUS {...}". Empty
    // when none came in time.
    QString send(const QString& command, int timeoutMs = 5000);
    // The "status" answer, parsed; empty on failure.
    QJsonObject status(int timeoutMs = 5000);

    // Every complete record of the traffic log so far.
    QList<QJsonObject> traffic() const;
    // Waits until the traffic log holds at least `count` records.
    bool waitForTraffic(int count, int timeoutMs = 5000);

    // Stops the child if it runs and returns its exit code (-1 when it had to be killed).
    int stop(int timeoutMs = 3000);
    QByteArray stderrOutput();
    QProcess& process() { return proc_; }

private:
    bool readLine(QString* line, const QDeadlineTimer& deadline);

    QProcess proc_;
    QTemporaryDir dir_;
    QString program_;
    QStringList args_;
    QString pty_;
    QString traffic_;
    QString error_;
    QByteArray stdout_;
    QByteArray stderr_;
};

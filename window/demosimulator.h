#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTimer>

// velmora-sim as a child of the program for `--demo`: started on a pty,
// its port used for this run only, stopped when the program ends. While it
// runs, the load on its scale rises and falls slowly, so the weight, the
// lamps and the chart have something to show.
class DemoSimulator {
public:
    static constexpr int kStartMs = 10000;

    DemoSimulator() = default;
    ~DemoSimulator();
    DemoSimulator(const DemoSimulator&) = delete;
    DemoSimulator& operator=(const DemoSimulator&) = delete;

    // The simulator beside this executable.
    static QString defaultProgram();

    // Starts the simulator and waits for its "PTY <path>" line. False with
    // errorString() set when it cannot be started or says nothing in time.
    bool start(const QString& program, const QStringList& extraArgs = {});
    QString portPath() const { return port_; }
    QString errorString() const { return error_; }
    bool running() const { return proc_.state() != QProcess::NotRunning; }
    // "quit" on its control channel, a bounded wait, then kill.
    void stop();

private:
    void moveLoad();

    QProcess proc_;
    QTimer loadTimer_;
    QElapsedTimer clock_;
    QString port_;
    QString error_;
};

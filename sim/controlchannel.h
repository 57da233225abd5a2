#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class PtyPort;
class QSocketNotifier;
class SimInstrument;
class SimServer;

// Commands on stdin, one a line, each answered on stdout:
//   load <kg>          -> OK load <kg>
//   settle <ms>        -> OK settle <ms>: a new load is unstable that long
//   error off|<kg>:<e>,...  -> OK error ...: the weight shown is off by that
//                         many divisions at those loads (linear between)
//   unplug             -> OK unplug
//   replug             -> PTY <path>, then OK replug <path>
//   input <1|2> <0|1>  -> OK input <n> <state>
//   status             -> STATUS <json>
//   quit               -> OK quit, and the program ends
// A bad command answers ERR <reason>. End of input ends the program too.
class ControlChannel : public QObject {
    Q_OBJECT
public:
    ControlChannel(SimInstrument& instrument, SimServer& server, PtyPort& port,
                   QObject* parent = nullptr);

    // Runs one command line and returns the lines to print; `quit` is set
    // when the program should end.
    QStringList execute(const QString& line, bool* quit);
    // Starts reading commands from the descriptor (stdin).
    void listen(int fd);

Q_SIGNALS:
    void quitRequested();

private:
    void onReadable();

    SimInstrument& instrument_;
    SimServer& server_;
    PtyPort& port_;
    QSocketNotifier* notifier_ = nullptr;
    int fd_ = -1;
    QByteArray pending_;
};

// Writes one line to stdout and flushes it, so a parent reading a pipe sees it at once.
void printLine(const QString& line);

#pragma once

#include <QString>

// Which programs run on this machine, read from the process list (/proc),
// so the configurator can wait for a tool it does not own: one it started
// detached, or one the technician started by hand.
namespace ProcessList {

// True when `candidate` names the program `name`: its file-name part or
// the whole of it equals `name`, without regard to case and with or without
// ".exe" on either side ("/opt/x/AVRPROG.exe" names "AvrProg").
bool sameProgram(const QString& candidate, const QString& name);

// True when a live process (not a zombie) of the program `name` runs: its
// executable's path (/proc/<pid>/exe, " (deleted)" dropped), its command
// name (comm) or the first word of its command line names it. A script
// counts under its own name, which comm carries while exe names the
// interpreter. Processes of other users count too, through comm and the
// command line. `procRoot` is for tests.
bool isRunning(const QString& name, const QString& procRoot = QStringLiteral("/proc"));

}  // namespace ProcessList

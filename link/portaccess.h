#pragma once

#include <QString>

// What the window and velmora-cli tell the technician when a serial port
// cannot be opened for lack of permission. The package grants no device
// rights by itself, so the text names the group that owns the device and
// the exact command that lets this user in.
namespace PortAccess {

// The reason this user may not open the port at `path` and how to fix it.
QString permissionAdvice(const QString& path);

// True when `path` (or what it links to) is a pseudo-terminal: no adapter
// behind it needs a settling time after opening.
bool isPseudoTerminal(const QString& path);

}  // namespace PortAccess

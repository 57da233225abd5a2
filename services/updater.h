#pragma once

#include <QString>

// The updater shipped beside the program: started once at start-up, when
// it is there, with the program's name, and left to run on its own.
namespace Updater {

inline constexpr char kProgram[] = "Update";
inline constexpr char kArgument[] = "velmora";

// Update, or Update.exe, in the program folder; empty when neither is there.
QString path();
// Starts it without waiting. False when there is none or it did not start
// (logged); neither stops the start-up.
bool startIfPresent();

}  // namespace Updater

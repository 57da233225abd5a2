#pragma once

#include <QString>

class QApplication;

// The program's start-up order and its end, for main() and the tests.
namespace Startup {

struct Options {
    bool demo = false;
    // The simulator for --demo; empty: the one beside the executable.
    QString simulator;
    // Saves a picture of the window this long after start-up (for the demo
    // under a virtual display); empty: none.
    QString screenshot;
    int screenshotDelayMs = 3000;
    // Closes the window, the normal way, this long after start-up; 0: never.
    int quitAfterMs = 0;
    // Opens the window on this page (0 home ... 13 factory); -1: as stored.
    int page = -1;
};

// Splash, main window, second half of the start-up, message loop. Returns
// the exit code; a second instance returns 0 after its message.
int run(QApplication& app, const Options& options);

// Whether text names one of the window's pages (0 to 13).
bool isPageNumber(const QString& text, int* page = nullptr);

}  // namespace Startup

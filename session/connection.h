#pragma once

#include "link/outcome.h"

class Session;

// The connect procedure, the offline definition, and the page-button sets and
// control parts of the online and offline looks.
class Connection {
public:
    explicit Connection(Session& session) : s_(session) {}

    void connectInstrument();
    // How the last connect procedure's identification went.
    Outcome identification() const { return identification_; }
    // The wait after the read-out that lets the progress window be seen;
    // a caller with no progress window to show sets 0.
    void setDisplayWaitMs(int ms) { displayWaitMs_ = ms; }
    void loadOfflineDefinition();
    // Applies the online or offline look according to `online`.
    void refreshPresentation();
    void enablePages();
    void disablePages();

private:
    Session& s_;
    Outcome identification_ = Outcome::notSent(Outcome::Reason::None);
    int displayWaitMs_ = 500;
};

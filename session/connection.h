#pragma once

class Session;

// The connect procedure, the offline definition, and the page-button sets and
// control parts of the online and offline looks.
class Connection {
public:
    explicit Connection(Session& session) : s_(session) {}

    void connectInstrument();
    void loadOfflineDefinition();
    // Applies the online or offline look according to `online`.
    void refreshPresentation();
    void enablePages();
    void disablePages();

private:
    Session& s_;
};

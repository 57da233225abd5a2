#pragma once

#include <QStringList>

#include "session/session.h"
#include "support/recordingpresentation.h"
#include "support/simprocess.h"
#include "support/testhome.h"

// A session connected to a simulator, as the window has it after start-up.
// The program folder comes first: the session reads from it.
struct SimRig {
    explicit SimRig(const QStringList& simArgs = {}) : sim(simArgs), session(&view) {}

    bool start() {
        if (!sim.start())
            return false;
        session.settings().porta = sim.ptyPath();
        session.settings().velocita = QStringLiteral("115200");
        session.setStartupComplete(true);
        session.impostacom();
        return true;
    }
    bool waitOnline(int ms) {
        return session.waitUntil(
            [this] { return session.link().online && session.link().parametri_caricati; }, ms);
    }

    TestHome home;
    SimProcess sim;
    RecordingPresentation view;
    Session session;
};

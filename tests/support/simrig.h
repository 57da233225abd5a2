#pragma once

#include <QStringList>
#include <optional>

#include "link/protocol.h"
#include "session/requests.h"
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
    // A tare sent from inside the handling of the next live reply, as a
    // timer that fires during the live refresh sends it; its outcome, or
    // nothing when no live reply came within `ms`.
    std::optional<Outcome> tareInsideLiveRefresh(int ms) {
        std::optional<Outcome> outcome;
        view.insideNextLiveRefresh = [this, &outcome] {
            outcome = session.requests().invia_comando(proto::kCmdTare);
        };
        session.waitUntil([&outcome] { return outcome.has_value(); }, ms);
        view.insideNextLiveRefresh = nullptr;
        return outcome;
    }

    TestHome home;
    SimProcess sim;
    RecordingPresentation view;
    Session session;
};

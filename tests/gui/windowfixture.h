#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "session/session.h"
#include "services/settingsfile.h"
#include "support/simprocess.h"
#include "support/testhome.h"
#include "window/tform1.h"

// A program folder, a private runtime folder for the instance lock, and
// optionally a simulator whose pty the settings file names.
struct WindowFixture {
    TestHome home;
    QTemporaryDir runtime;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TForm1> form;

    WindowFixture() {
        // The lock lives in the runtime folder: keep it away from any real run.
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    bool startSim(const QStringList& args = {}) {
        sim =
            std::make_unique<SimProcess>(QStringList{QStringLiteral("--home"), home.path()} + args);
        return sim->start();
    }

    void writeSettings(const QString& port) {
        fdati s;
        s.porta = port;
        s.f_top = QStringLiteral("40");
        s.f_left = QStringLiteral("60");
        home.write(QString::fromLatin1(SettingsFile::kFileName), SettingsFile::serialize(s));
    }

    // Both halves of the start-up, without a splash.
    bool start() {
        form = std::make_unique<TForm1>();
        if (!form->FormCreate())
            return false;
        form->finishStartup(nullptr);
        return true;
    }

    Session& session() { return form->session(); }
    template <typename T = QWidget>
    T* control(const char* name) {
        return form->findChild<T*>(QLatin1String(name));
    }

    // Requests of a function to a register seen by the simulator so far.
    int requestsTo(int function, int reg) const {
        int n = 0;
        for (const QJsonObject& r : sim->traffic())
            if (r.value(QStringLiteral("function")).toInt() == function &&
                r.value(QStringLiteral("register")).toInt(-1) == reg)
                ++n;
        return n;
    }
};

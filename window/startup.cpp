#include "window/startup.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "services/updater.h"
#include "window/demosimulator.h"
#include "window/navigator.h"
#include "window/questionbox.h"
#include "window/splashscreen.h"
#include "window/terminationwatch.h"
#include "window/tform1.h"

bool Startup::isPageNumber(const QString& text, int* page) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < 0 || n > 13)
        return false;
    if (page)
        *page = n;
    return true;
}

int Startup::run(QApplication& app, const Options& options) {
    // SIGTERM and SIGINT close the window the normal way, so the settings
    // are written and the simulator of a demo is stopped; one that comes
    // while a start-up box waits closes the box and ends the program.
    TerminationWatch termination;
    termination.install();
    auto* splash = new TSplashScreen;
    splash->showNow();
    // The application's name ("Velmora", set in main) stands in for the
    // display name; setting one would make Qt append it to every caption.

    TForm1 form;
    if (!form.FormCreate()) {
        delete splash;
        return 0;
    }
    // The updater looks for a newer program on its own; it is not waited for.
    Updater::startIfPresent();

    DemoSimulator simulator;
    if (options.demo) {
        const QString program =
            options.simulator.isEmpty() ? DemoSimulator::defaultProgram() : options.simulator;
        if (simulator.start(program)) {
            form.setPortOverride(simulator.portPath());
            std::fprintf(stderr, "velmora: demo instrument on %s\n",
                         qPrintable(simulator.portPath()));
        } else {
            std::fprintf(stderr, "velmora: --demo: %s\n", qPrintable(simulator.errorString()));
        }
    }

    form.finishStartup(splash);
    if (termination.requested()) {
        form.close();
        simulator.stop();
        return 0;
    }
    termination.setWindow(&form);
    QObject::connect(&termination, &TerminationWatch::quitRequested, &app, &QCoreApplication::quit);
    if (!options.screenshot.isEmpty()) {
        QTimer::singleShot(options.screenshotDelayMs, &form, [&form, &options] {
            const bool saved = form.grab().save(options.screenshot);
            std::fprintf(stderr,
                         saved ? "velmora: window saved to %s\n" : "velmora: could not save %s\n",
                         qPrintable(options.screenshot));
        });
    }
    if (options.page >= 0)
        QTimer::singleShot(0, &form, [&form, &options] {
            // Benchmarks and scripts wait for this line.
            const bool shown = form.navigator().openPage(options.page);
            std::fprintf(stderr, shown ? "velmora: page %d shown\n" : "velmora: page %d not shown\n",
                         options.page);
        });
    if (options.quitAfterMs > 0)
        QTimer::singleShot(options.quitAfterMs, &form, &QWidget::close);
    const int code = app.exec();
    if (!form.isHidden())
        form.close();
    simulator.stop();
    return code;
}

#include "window/startup.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "services/updater.h"
#include "window/demosimulator.h"
#include "window/navigator.h"
#include "window/questionbox.h"
#include "window/splashscreen.h"
#include "window/tform1.h"

namespace {

int g_signalFd[2] = {-1, -1};

void onTerminate(int) {
    const char c = 1;
    // Only a write is safe here; the event loop closes the window.
    [[maybe_unused]] const ssize_t n = ::write(g_signalFd[1], &c, 1);
}

// SIGTERM and SIGINT close the window the normal way, so the settings are
// written and the simulator of a demo is stopped. The handler is installed
// at once; the signal is acted on only once the message loop runs, so a
// request that comes during start-up waits for its end.
void catchSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFd) != 0)
        return;
    struct sigaction sa {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

void closeOnSignals(TForm1& form) {
    if (g_signalFd[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalFd[0], QSocketNotifier::Read, &form);
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form, notifier] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalFd[0], &c, 1);
        notifier->setEnabled(false);
        form.close();
        QCoreApplication::quit();
    });
}

}  // namespace

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
    catchSignals();
    auto* splash = new TSplashScreen;
    splash->showNow();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Velmora"));

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
    // Queued, so it acts inside the message loop.
    QTimer::singleShot(0, &form, [&form] { closeOnSignals(form); });
    if (options.quitAfterMs > 0)
        QTimer::singleShot(options.quitAfterMs, &form, &QWidget::close);
    const int code = app.exec();
    if (!form.isHidden())
        form.close();
    simulator.stop();
    return code;
}

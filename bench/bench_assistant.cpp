// The window's own cost with the guided calibration open and waiting for a
// stable weight that never comes (the virtual instrument's platform swings
// for ten minutes): CPU of one core of this process, which holds the whole
// window, beside the same window with the calibration page alone. With a
// folder argument it also saves a picture of each page of the assistant.
// Figures only; nothing here fails on them.
#include <sys/resource.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <cstdio>
#include <functional>

#include "services/settingsfile.h"
#include "support/simprocess.h"
#include "support/testhome.h"
#include "window/calibrationassistant.h"
#include "window/calibrationpage.h"
#include "window/navigator.h"
#include "window/tform1.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU % of one core over `seconds` of the event loop running.
double measure(int seconds) {
    const double c0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    return 100.0 * (cpuSeconds() - c0) / (static_cast<double>(wall.elapsed()) / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 20;
    const QString pictures = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    TestHome home;
    SimProcess sim(
        {QStringLiteral("--home"), home.path(), QStringLiteral("--noise"), QStringLiteral("0")});
    if (!sim.start()) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    fdati s;
    s.porta = sim.ptyPath();
    home.write(QString::fromLatin1(SettingsFile::kFileName), SettingsFile::serialize(s));
    TForm1 form;
    if (!form.FormCreate())
        return 1;
    form.finishStartup(nullptr);
    if (!QTest::qWaitFor([&] { return form.session().link().online.load(); }, 30000)) {
        std::fprintf(stderr, "bench: the window did not connect\n");
        return 1;
    }
    form.navigator().form_style(Navigator::Setup);
    form.navigator().AbilPannel(1);
    QTest::qWait(3000);

    std::printf("window with the virtual instrument, %d s measured each, platform %s\n\n", seconds,
                qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("| shown | CPU %% of one core | target |\n|---|---|---|\n");
    std::printf("| calibration page | %.2f | < 5 |\n", measure(seconds));
    std::fflush(stdout);

    form.findChild<CalibrationPage*>(QStringLiteral("Panel1"))->guidedButton()->click();
    auto* a = form.findChild<CalibrationAssistant*>();
    if (!a)
        return 1;
    const auto shoot = [&](const char* name) {
        if (!pictures.isEmpty()) {
            QTest::qWait(400);
            a->grab().save(QDir(pictures).filePath(QString::fromLatin1(name)));
        }
    };
    a->findChild<QLineEdit*>(QStringLiteral("technician"))->setText(QStringLiteral("A. Rossi"));
    a->findChild<QLineEdit*>(QStringLiteral("customer"))->setText(QStringLiteral("Mill 3, bay 2"));
    a->findChild<QLineEdit*>(QStringLiteral("tag"))->setText(QStringLiteral("SCALE-07"));
    shoot("assistant-job.png");
    a->next();
    shoot("assistant-zero.png");
    // Waiting for a stable weight that does not come.
    sim.send(QStringLiteral("settle 600000"));
    sim.send(QStringLiteral("load 1"));
    a->next();
    QTest::qWait(500);
    std::printf("| guided calibration waiting for stable | %.2f | < 5 |\n", measure(seconds));
    std::fflush(stdout);
    shoot("assistant-waiting.png");

    const auto await = [](const std::function<bool()>& done) {
        if (!QTest::qWaitFor(done, 30000))
            std::fprintf(stderr, "bench: a step of the run did not finish\n");
    };
    if (!pictures.isEmpty()) {
        // The rest of a run, for the manual's pictures.
        sim.send(QStringLiteral("settle 300"));
        sim.send(QStringLiteral("load 0"));
        await([&] { return a->step() == CalibrationAssistant::Span; });
        a->findChild<QLineEdit*>(QStringLiteral("knownWeight"))->setText(QStringLiteral("1000"));
        shoot("assistant-span.png");
        sim.send(QStringLiteral("load 1000"));
        a->next();
        await([&] { return a->step() == CalibrationAssistant::Verify; });
        sim.send(QStringLiteral("error 1000:0,1500:2,2000:0"));
        const QList<double> order = Verification::sequence(Verification::defaultLoads(2000, 1));
        for (qsizetype i = 0; i < order.size(); ++i) {
            sim.send(QStringLiteral("load %1").arg(order[i]));
            a->next();
            await([&] { return a->verification()->rows().size() == i + 1; });
            if (i == 5)
                shoot("assistant-verification.png");
        }
        a->next();  // no repeatability
        shoot("assistant-result.png");
        QString error;
        if (!a->saveCertificate(pictures, &error))
            std::fprintf(stderr, "bench: %s\n", qPrintable(error));
    }
    // Closing mid-run says what the instrument was left with, in a box that
    // waits for an answer: answer it, so the bench ends.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [a] {
        QWidget* box = QApplication::activeModalWidget();
        if (box && box != a)
            box->close();
    });
    answer.start(100);
    a->close();
    return 0;
}

// velmora: the configurator's window.
#include <QApplication>
#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/programfolder.h"
#include "window/languagetools.h"
#include "window/startup.h"

int main(int argc, char** argv) {
    // The translator's tools build the windows without showing them: they
    // need no display.
    for (int i = 1; i < argc; ++i)
        if ((!std::strcmp(argv[i], "--language-template") ||
             !std::strncmp(argv[i], "--check-language", 16)) &&
            qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    // Desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmora.Velmora"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configurator for load-cell weighing instruments.\n"
                       "The port is a serial device or a network serial server:\n"
                       "tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (telnet with serial\n"
                       "set-up), chosen in Connect > Search > Network..."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption home(QStringLiteral("home"),
                                  QStringLiteral("Program folder for all its files (default: "
                                                 "VELMORA_HOME, else the executable's folder; "
                                                 "installed: $XDG_DATA_HOME/velmora)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Run against the virtual instrument beside the "
                                                 "executable; the stored port is kept."));
    const QCommandLineOption simulator(QStringLiteral("simulator"),
                                       QStringLiteral("The virtual instrument for --demo."),
                                       QStringLiteral("PATH"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window to FILE a few "
                                                       "seconds after start-up."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("Close the window after SECONDS."),
                                       QStringLiteral("SECONDS"));
    const QCommandLineOption page(QStringLiteral("page"),
                                  QStringLiteral("Open the window on page N (0 home, 1-13 as the "
                                                 "page buttons number them), in the layout its "
                                                 "button chooses."),
                                  QStringLiteral("N"));
    const QCommandLineOption languageTemplate(
        QStringLiteral("language-template"),
        QStringLiteral("Write a language file of every design text and run-time text to standard "
                       "output, for a new translation."));
    const QCommandLineOption checkLanguage(
        QStringLiteral("check-language"),
        QStringLiteral("Load a language file against every window, print each problem and a "
                       "summary; exit 0 only without problems."),
        QStringLiteral("FILE"));
    parser.addOptions(
        {home, demo, simulator, screenshot, quitAfter, page, languageTemplate, checkLanguage});
    parser.process(app);

    if (parser.isSet(home))
        ProgramFolder::setPath(parser.value(home));

    if (parser.isSet(languageTemplate)) {
        const QByteArray text = LanguageTools::languageTemplate();
        return std::fwrite(text.constData(), 1, size_t(text.size()), stdout) == size_t(text.size())
                   ? 0
                   : 1;
    }
    if (parser.isSet(checkLanguage)) {
        const LanguageTools::CheckResult r =
            LanguageTools::checkLanguage(parser.value(checkLanguage));
        for (QString p : r.problems)
            std::printf("%s\n",
                        qPrintable(p.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))));
        // Not problems: the window shows these texts in English.
        for (const QString& t : r.leftInEnglish)
            std::printf("Left in English: %s\n", qPrintable(t));
        std::printf("%lld texts left in English\n", static_cast<long long>(r.leftInEnglish.size()));
        std::printf("%s\n", qPrintable(r.summary()));
        return r.problems.isEmpty() ? 0 : 1;
    }

    Startup::Options options;
    options.demo = parser.isSet(demo);
    options.simulator = parser.value(simulator);
    options.screenshot = parser.value(screenshot);
    if (parser.isSet(quitAfter)) {
        bool ok = false;
        const double seconds = parser.value(quitAfter).toDouble(&ok);
        if (!ok || seconds <= 0)
            parser.showHelp(2);
        options.quitAfterMs = static_cast<int>(seconds * 1000);
        options.screenshotDelayMs = std::min(options.screenshotDelayMs, options.quitAfterMs / 2);
    }
    if (parser.isSet(page) && !Startup::isPageNumber(parser.value(page), &options.page)) {
        std::fprintf(stderr, "velmora: --page takes a page number from 0 to 13\n");
        return 2;
    }
    return Startup::run(app, options);
}

// velmora-cli: the configurator's core from the command line.
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <memory>

#include "app/cli/cliargs.h"
#include "app/cli/clicommands.h"
#include "app/cli/clioutput.h"
#include "app/cli/clisignals.h"
#include "base/programfolder.h"

namespace {

// verify lays its certificate out with the GUI module's text engine and
// fonts; it never opens a window, so it needs no display.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "verify") {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            return std::make_unique<QGuiApplication>(argc, argv);
        }
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    QCoreApplication& app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("velmora-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));

    const CliParse parsed = parseCliArguments(app.arguments().mid(1));
    if (!parsed.ok()) {
        CliOutput::writeErr(QStringLiteral("velmora-cli: %1\nTry 'velmora-cli --help'.\n")
                                .arg(parsed.error)
                                .toLocal8Bit());
        return kExitUsage;
    }
    const CliOptions& options = parsed.options;
    if (options.help) {
        CliOutput::writeOut(cliUsage().toLocal8Bit());
        return kExitOk;
    }
    if (options.version) {
        CliOutput::writeOut(QByteArray("velmora-cli ") + VELMORA_VERSION + '\n');
        return kExitOk;
    }

    const CliOutput out(options.json, options.quiet);
    if (!options.home.isEmpty()) {
        if (!QFileInfo(options.home).isDir()) {
            out.error({kExitUsage, QStringLiteral("--home %1: no such folder").arg(options.home)});
            return kExitUsage;
        }
        ProgramFolder::setPath(options.home);
    }
    CliSignals::install();
    return runCliCommand(options, out);
}

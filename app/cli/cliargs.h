#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What the command line asked for, checked: a parsed CliOptions is complete
// and consistent, so the commands never meet a malformed option.
struct CliOptions {
    enum class Command {
        Ports,
        Search,
        Info,
        Read,
        Get,
        Set,
        Save,
        Backup,
        Restore,
        Watch,
        Log,
        Diff,
        Trace,
        Verify
    };

    Command command = Command::Info;
    QString commandName;
    QStringList args;  // the command's own operands

    QString port;     // empty: the settings file's port
    QString baud;     // empty: the settings file's speed
    int address = 0;  // 0: the settings file's address
    QString home;
    bool json = false;
    bool quiet = false;
    bool yes = false;
    bool append = false;
    std::optional<double> seconds;  // watch: how long; log: the time-based stop value
    QString interval;               // log: normalized ("1.0")
    std::optional<qint64> count;    // log: the number-of-logs stop value
    bool problems = false;          // trace: only exchanges that met a problem
    // verify: the test loads (empty: 0, 25, 50, 75, 100 % of the maximum
    // weight), the accuracy class, in-service tolerances, the files to
    // write, the certificate's language and the job's free texts.
    QList<double> loads;
    QString accuracy = QStringLiteral("III");
    bool inService = false;
    // verify --repeat: the load checked three times for repeatability.
    std::optional<double> repeat;
    QString certificate;
    QString csv;
    QString language;
    QString technician;
    QString customer;
    QString tag;

    bool help = false;
    bool version = false;
};

struct CliParse {
    CliOptions options;
    QString error;  // one sentence; empty when the line was accepted
    bool ok() const { return error.isEmpty(); }
};

// Parses the arguments after the program name. Options may come before or
// after the command, as "--name value" or "--name=value"; "--" ends them.
CliParse parseCliArguments(const QStringList& arguments);
QString cliUsage();

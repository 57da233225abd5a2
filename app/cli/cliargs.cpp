#include "app/cli/cliargs.h"

#include <QHash>
#include <QSet>
#include <cmath>

#include "device/decoding.h"
#include "link/vacom.h"
#include "services/datalogger.h"
#include "services/verification.h"

namespace {

using Command = CliOptions::Command;

struct CommandInfo {
    Command command;
    int operands;            // exact count
    const char* operandUse;  // for the error message
    QSet<QString> options;   // besides the common ones
};

const QHash<QString, CommandInfo>& commands() {
    static const QHash<QString, CommandInfo> table = {
        {QStringLiteral("ports"), {Command::Ports, 0, "", {}}},
        {QStringLiteral("search"), {Command::Search, 0, "", {}}},
        {QStringLiteral("info"), {Command::Info, 0, "", {}}},
        {QStringLiteral("read"), {Command::Read, 0, "", {}}},
        {QStringLiteral("get"), {Command::Get, 1, "ROLE|NAME", {}}},
        {QStringLiteral("set"), {Command::Set, 2, "ROLE|NAME VALUE", {}}},
        {QStringLiteral("save"), {Command::Save, 0, "", {}}},
        {QStringLiteral("backup"), {Command::Backup, 1, "FILE.mem", {QStringLiteral("yes")}}},
        {QStringLiteral("restore"), {Command::Restore, 1, "FILE.mem", {QStringLiteral("yes")}}},
        {QStringLiteral("watch"), {Command::Watch, 0, "", {QStringLiteral("seconds")}}},
        {QStringLiteral("log"),
         {Command::Log,
          1,
          "FILE.csv",
          {QStringLiteral("interval"), QStringLiteral("count"), QStringLiteral("seconds"),
           QStringLiteral("yes"), QStringLiteral("append")}}},
        {QStringLiteral("diff"), {Command::Diff, 1, "FILE.mem", {}}},
        {QStringLiteral("trace"),
         {Command::Trace, 0, "", {QStringLiteral("seconds"), QStringLiteral("problems")}}},
        {QStringLiteral("verify"),
         {Command::Verify,
          0,
          "",
          {QStringLiteral("loads"), QStringLiteral("class"), QStringLiteral("in-service"),
           QStringLiteral("repeat"), QStringLiteral("certificate"), QStringLiteral("csv"),
           QStringLiteral("language"), QStringLiteral("technician"), QStringLiteral("customer"),
           QStringLiteral("tag")}}},
    };
    return table;
}

// Options that take a value, and the flags; -q and -y are the short forms.
const QSet<QString>& valued() {
    static const QSet<QString> set = {
        QStringLiteral("port"),        QStringLiteral("baud"),     QStringLiteral("address"),
        QStringLiteral("home"),        QStringLiteral("seconds"),  QStringLiteral("interval"),
        QStringLiteral("count"),       QStringLiteral("loads"),    QStringLiteral("class"),
        QStringLiteral("certificate"), QStringLiteral("csv"),      QStringLiteral("language"),
        QStringLiteral("technician"),  QStringLiteral("customer"), QStringLiteral("tag"),
        QStringLiteral("repeat")};
    return set;
}
const QSet<QString>& flags() {
    static const QSet<QString> set = {QStringLiteral("json"),     QStringLiteral("quiet"),
                                      QStringLiteral("yes"),      QStringLiteral("append"),
                                      QStringLiteral("help"),     QStringLiteral("version"),
                                      QStringLiteral("problems"), QStringLiteral("in-service")};
    return set;
}
bool isCommon(const QString& name) {
    static const QSet<QString> set = {QStringLiteral("port"),    QStringLiteral("baud"),
                                      QStringLiteral("address"), QStringLiteral("home"),
                                      QStringLiteral("json"),    QStringLiteral("quiet"),
                                      QStringLiteral("help"),    QStringLiteral("version")};
    return set.contains(name);
}

std::optional<qint64> positiveInteger(const QString& text) {
    const auto n = parseInteger(text);
    if (!n || *n <= 0)
        return std::nullopt;
    return n;
}

}  // namespace

CliParse parseCliArguments(const QStringList& arguments) {
    CliParse r;
    CliOptions& o = r.options;
    QHash<QString, QString> given;  // option name -> value ("" for flags)
    QStringList operands;
    bool optionsEnded = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            operands.append(a);
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name;
        QString value;
        bool hasValue = false;
        if (a.startsWith(QLatin1String("--"))) {
            name = a.mid(2);
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            if (eq >= 0) {
                value = name.mid(eq + 1);
                name = name.left(eq);
                hasValue = true;
            }
        } else if (a == QLatin1String("-q")) {
            name = QStringLiteral("quiet");
        } else if (a == QLatin1String("-y")) {
            name = QStringLiteral("yes");
        } else if (a == QLatin1String("-h")) {
            name = QStringLiteral("help");
        } else {
            // A negative number is an operand (set ROLE -5), not an option.
            if (parseReal(a)) {
                operands.append(a);
                continue;
            }
            r.error = QStringLiteral("unknown option \"%1\"").arg(a);
            return r;
        }
        if (valued().contains(name)) {
            if (!hasValue) {
                if (i + 1 >= arguments.size()) {
                    r.error = QStringLiteral("option --%1 needs a value").arg(name);
                    return r;
                }
                value = arguments.at(++i);
            }
        } else if (flags().contains(name)) {
            if (hasValue) {
                r.error = QStringLiteral("option --%1 takes no value").arg(name);
                return r;
            }
        } else {
            r.error = QStringLiteral("unknown option \"%1\"").arg(a);
            return r;
        }
        if (given.contains(name) && valued().contains(name)) {
            r.error = QStringLiteral("option --%1 is given twice").arg(name);
            return r;
        }
        given.insert(name, value);
    }

    o.help = given.contains(QStringLiteral("help"));
    o.version = given.contains(QStringLiteral("version"));
    if (o.help || o.version)
        return r;

    if (operands.isEmpty()) {
        r.error = QStringLiteral("no command given");
        return r;
    }
    o.commandName = operands.takeFirst();
    const auto it = commands().constFind(o.commandName);
    if (it == commands().constEnd()) {
        r.error = QStringLiteral("unknown command \"%1\"").arg(o.commandName);
        return r;
    }
    const CommandInfo& info = it.value();
    o.command = info.command;
    if (operands.size() != info.operands) {
        r.error = info.operands == 0
                      ? QStringLiteral("%1 takes no operands, but got \"%2\"")
                            .arg(o.commandName, operands.join(QLatin1Char(' ')))
                      : QStringLiteral("usage: velmora-cli %1 %2")
                            .arg(o.commandName, QString::fromLatin1(info.operandUse));
        return r;
    }
    o.args = operands;
    for (auto g = given.cbegin(); g != given.cend(); ++g) {
        if (!isCommon(g.key()) && !info.options.contains(g.key())) {
            r.error =
                QStringLiteral("option --%1 does not apply to %2").arg(g.key(), o.commandName);
            return r;
        }
    }

    o.json = given.contains(QStringLiteral("json"));
    o.quiet = given.contains(QStringLiteral("quiet"));
    o.yes = given.contains(QStringLiteral("yes"));
    o.append = given.contains(QStringLiteral("append"));
    o.port = given.value(QStringLiteral("port"));
    o.home = given.value(QStringLiteral("home"));
    if (given.contains(QStringLiteral("port")) && o.port.isEmpty()) {
        r.error = QStringLiteral("--port needs a device path or a network address");
        return r;
    }
    if (QString malformed; !o.port.isEmpty() && !PortAddress::parse(o.port, &malformed)) {
        r.error = malformed;
        return r;
    }
    if (given.contains(QStringLiteral("baud"))) {
        o.baud = given.value(QStringLiteral("baud"));
        if (!VaCom::isAcceptedSpeed(o.baud)) {
            r.error = QStringLiteral("--baud takes 9600, 19200, 38400, 57600 or 115200, not \"%1\"")
                          .arg(o.baud);
            return r;
        }
    }
    if (given.contains(QStringLiteral("address"))) {
        const auto n = parseInteger(given.value(QStringLiteral("address")));
        if (!n || *n < 1 || *n > 127) {
            r.error = QStringLiteral("--address takes a whole number from 1 to 127, not \"%1\"")
                          .arg(given.value(QStringLiteral("address")));
            return r;
        }
        o.address = static_cast<int>(*n);
    }
    if (given.contains(QStringLiteral("home")) && o.home.isEmpty()) {
        r.error = QStringLiteral("--home needs a folder");
        return r;
    }

    o.problems = given.contains(QStringLiteral("problems"));
    if ((o.command == Command::Watch || o.command == Command::Trace) &&
        given.contains(QStringLiteral("seconds"))) {
        const auto s = parseReal(given.value(QStringLiteral("seconds")));
        // Within what a timer can count in milliseconds: about 24 days.
        if (!s || *s <= 0 || *s > 2e6) {
            r.error = QStringLiteral("--seconds takes a positive number up to 2000000, not \"%1\"")
                          .arg(given.value(QStringLiteral("seconds")));
            return r;
        }
        o.seconds = *s;
    }

    if (o.command == Command::Verify) {
        if (given.contains(QStringLiteral("loads"))) {
            const auto loads = Verification::parseLoads(given.value(QStringLiteral("loads")));
            if (!loads) {
                r.error = QStringLiteral(
                              "--loads takes weights of 0 or more separated by commas, such as "
                              "0,500,1000, not \"%1\"")
                              .arg(given.value(QStringLiteral("loads")));
                return r;
            }
            o.loads = *loads;
        }
        if (given.contains(QStringLiteral("class"))) {
            const auto c = accuracyClassFromText(given.value(QStringLiteral("class")));
            if (!c) {
                r.error = QStringLiteral("--class takes II, III or IIII, not \"%1\"")
                              .arg(given.value(QStringLiteral("class")));
                return r;
            }
            o.accuracy = accuracyClassText(*c);
        }
        if (given.contains(QStringLiteral("repeat"))) {
            const auto load = Verification::parseLoads(given.value(QStringLiteral("repeat")));
            if (!load || load->size() != 1) {
                r.error = QStringLiteral(
                              "--repeat takes one weight of 0 or more, such as 1000, not \"%1\"")
                              .arg(given.value(QStringLiteral("repeat")));
                return r;
            }
            o.repeat = load->first();
        }
        o.inService = given.contains(QStringLiteral("in-service"));
        o.certificate = given.value(QStringLiteral("certificate"));
        o.csv = given.value(QStringLiteral("csv"));
        for (const char* name : {"certificate", "csv", "language"})
            if (given.contains(QString::fromLatin1(name)) &&
                given.value(QString::fromLatin1(name)).isEmpty()) {
                r.error = QStringLiteral("--%1 needs a value").arg(QString::fromLatin1(name));
                return r;
            }
        o.language = given.value(QStringLiteral("language"));
        o.technician = given.value(QStringLiteral("technician"));
        o.customer = given.value(QStringLiteral("customer"));
        o.tag = given.value(QStringLiteral("tag"));
    }

    if (o.command == Command::Log) {
        if (!given.contains(QStringLiteral("interval"))) {
            r.error = QStringLiteral("log needs --interval S (seconds between lines)");
            return r;
        }
        const auto interval =
            DataLogger::normalizeInterval(given.value(QStringLiteral("interval")));
        if (!interval) {
            r.error = QStringLiteral("--interval takes a number of seconds, not \"%1\"")
                          .arg(given.value(QStringLiteral("interval")));
            return r;
        }
        o.interval = *interval;
        const bool byCount = given.contains(QStringLiteral("count"));
        const bool bySeconds = given.contains(QStringLiteral("seconds"));
        if (byCount && bySeconds) {
            r.error = QStringLiteral("log takes --count or --seconds, not both");
            return r;
        }
        if (o.yes && o.append) {
            r.error = QStringLiteral("log takes --yes (overwrite) or --append, not both");
            return r;
        }
        if (byCount) {
            o.count = positiveInteger(given.value(QStringLiteral("count")));
            if (!o.count) {
                r.error = QStringLiteral("--count takes a whole number above 0, not \"%1\"")
                              .arg(given.value(QStringLiteral("count")));
                return r;
            }
        }
        if (bySeconds) {
            const auto s = positiveInteger(given.value(QStringLiteral("seconds")));
            if (!s) {
                r.error = QStringLiteral("--seconds takes a whole number above 0, not \"%1\"")
                              .arg(given.value(QStringLiteral("seconds")));
                return r;
            }
            // The time-based stop counts whole seconds of interval per line.
            if (DataLogger::intervalMs(o.interval) < 1000) {
                r.error = QStringLiteral(
                    "--seconds needs an --interval of at least 1 second: the time-based stop "
                    "counts whole seconds per line");
                return r;
            }
            o.seconds = static_cast<double>(*s);
        }
    }
    return r;
}

QString cliUsage() {
    return QStringLiteral(
        "Usage: velmora-cli [options] COMMAND [operands]\n"
        "\n"
        "Commands:\n"
        "  ports                      list serial ports and the network ports used last\n"
        "  search                     probe addresses 1-127 and list what answered\n"
        "  info                       connect and show model, release, definition, address\n"
        "  read                       connect and print every setup entry\n"
        "  get ROLE|NAME              print one setup entry\n"
        "  set ROLE|NAME VALUE        write one setup entry through the write path\n"
        "  save                       send the save command (0x20)\n"
        "  backup FILE.mem            save the instrument's parameters to a backup file\n"
        "  restore FILE.mem           send a backup file to the instrument and save it\n"
        "  watch                      print the live weight until stopped\n"
        "  log FILE.csv               log the weight to a CSV file\n"
        "  diff FILE.mem              list entries where a backup and the instrument differ\n"
        "  trace                      print every exchange with the instrument, decoded by entry\n"
        "  verify                     check the scale with known loads against its tolerances\n"
        "\n"
        "Common options:\n"
        "  --port PORT                serial port (default: the settings file's port): a\n"
        "                             device path, tcp://HOST:PORT (raw TCP to a network\n"
        "                             serial server) or rfc2217://HOST:PORT (telnet with\n"
        "                             serial set-up; --baud is sent to the server)\n"
        "  --baud N                   9600, 19200, 38400, 57600 or 115200\n"
        "  --address N                instrument address, 1-127\n"
        "  --home DIR                 program folder (Config/, ISetup.dat, logfile.txt);\n"
        "                             installed: $XDG_DATA_HOME/velmora\n"
        "  --json                     machine-readable output on stdout\n"
        "  -q, --quiet                no progress bars or notes\n"
        "\n"
        "Command options:\n"
        "  backup  --yes              overwrite an existing file without asking\n"
        "  restore --yes              no confirmation; a communication error aborts\n"
        "  watch   --seconds N        stop after N seconds\n"
        "  trace   --seconds N        stop after N seconds\n"
        "          --problems         only retried, damaged, refused or unanswered exchanges\n"
        "  log     --interval S       seconds between lines (one decimal, at least 0.2)\n"
        "          --count N          stop after N lines\n"
        "          --seconds N        stop after N seconds (interval counted in whole seconds)\n"
        "          --yes | --append   empty an existing file, or add to it\n"
        "  verify  --loads L1,L2,...  test loads in the scale's unit (default 0, 25, 50, 75\n"
        "                             and 100 % of the maximum weight), loaded up then down\n"
        "          --class II|III|IIII  accuracy class (default III)\n"
        "          --in-service       in-service tolerances (twice the initial ones)\n"
        "          --repeat LOAD      then LOAD three times: the spread of the readings must\n"
        "                             not exceed the tolerance at that load\n"
        "          --certificate FILE.pdf  write the certificate\n"
        "          --csv FILE         write the readings as CSV\n"
        "          --language NAME    the certificate's language (default: the settings')\n"
        "          --technician T --customer C --tag T  the job, for the certificate\n"
        "          exits 0 when every reading is within tolerance, 1 when one is not\n"
        "\n"
        "Values: weight-like entries (setpoints, hysteresis, analog full scale and zero)\n"
        "are given and shown with the scale's decimals; every other entry as stored.\n"
        "\n"
        "Exit codes: 0 success, 1 instrument error, 2 usage error, 3 file error,\n"
        "130 interrupted.\n");
}

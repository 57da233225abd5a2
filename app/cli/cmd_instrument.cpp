// info, read, get, set, save: one connection, then the parameter table and
// the write path as the pages use them.
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

#include "app/cli/clicommands.h"
#include "app/cli/clilink.h"
#include "app/cli/cliparams.h"
#include "base/programfolder.h"
#include "device/paramtable.h"
#include "link/protocol.h"
#include "session/requests.h"
#include "session/writepath.h"

namespace {

enum class Answer { Acknowledged, Refused, NoAnswer };

constexpr quint32 kTestModeRole = proto::kRoleTestMode;

// The outcome of the write just sent: the dispatcher marks a refusal with
// stato_link 3 and an echoed write with 1.
Answer answerOfLastWrite(Session& s) {
    const int stato = s.link().stato_link;
    if (stato == 3)
        return Answer::Refused;
    if (stato == 1)
        return Answer::Acknowledged;
    return Answer::NoAnswer;
}

QString answerText(Answer a) {
    switch (a) {
        case Answer::Acknowledged:
            return QStringLiteral("acknowledged");
        case Answer::Refused:
            return QStringLiteral("refused");
        case Answer::NoAnswer:
            break;
    }
    return QStringLiteral("no answer");
}

}  // namespace

int runCliCommand(const CliOptions& o, const CliOutput& out) {
    using C = CliOptions::Command;
    try {
        switch (o.command) {
            case C::Ports:
                return CliCommands::ports(o, out);
            case C::Search:
                return CliCommands::search(o, out);
            case C::Info:
                return CliCommands::info(o, out);
            case C::Read:
                return CliCommands::read(o, out);
            case C::Get:
                return CliCommands::get(o, out);
            case C::Set:
                return CliCommands::set(o, out);
            case C::Save:
                return CliCommands::save(o, out);
            case C::Backup:
                return CliCommands::backup(o, out);
            case C::Restore:
                return CliCommands::restore(o, out);
            case C::Diff:
                return CliCommands::diff(o, out);
            case C::Watch:
                return CliCommands::watch(o, out);
            case C::Log:
                return CliCommands::log(o, out);
            case C::Trace:
                return CliCommands::trace(o, out);
            case C::Verify:
                return CliCommands::verify(o, out);
        }
    } catch (const CliError& e) {
        out.error(e);
        return e.code;
    }
    return kExitUsage;
}

int CliCommands::info(const CliOptions& o, const CliOutput& out) {
    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();
    const ParameterTable& t = s.table();
    // The caption is built from the identification: "Progr.PP Rel.R.R".
    static const QRegularExpression caption(QStringLiteral("^Progr\\.(\\S+) Rel\\.(\\S+)$"));
    const auto m = caption.match(t.firmwareCaption);
    const QString model = m.hasMatch() ? m.captured(1) : QString();
    const QString release = m.hasMatch() ? m.captured(2) : QString();
    const QString definition = QFileInfo(t.definitionPath).fileName();

    QJsonObject doc;
    doc.insert(QStringLiteral("port"), link.portName());
    doc.insert(QStringLiteral("baud"), link.speed().toInt());
    doc.insert(QStringLiteral("address"), link.address());
    doc.insert(QStringLiteral("model"), model);
    doc.insert(QStringLiteral("release"), release);
    doc.insert(QStringLiteral("firmware"), t.firmwareCaption);
    doc.insert(QStringLiteral("definitionVersion"), t.definitionVersion);
    doc.insert(QStringLiteral("definitionFile"), definition);
    QJsonObject entries;
    entries.insert(QStringLiteral("setup"), t.setupCount());
    entries.insert(QStringLiteral("data"), t.dataCount());
    entries.insert(QStringLiteral("calibration"), t.calibrationCount());
    doc.insert(QStringLiteral("entries"), entries);
    doc.insert(QStringLiteral("programFolder"), ProgramFolder::path());
    doc.insert(QStringLiteral("shippedFolder"), ProgramFolder::shippedPath());
    out.document(doc);

    QList<QStringList> rows{
        {QStringLiteral("Port:"),
         QStringLiteral("%1 (%2 baud)").arg(link.portName(), link.speed())},
        {QStringLiteral("Address:"), QString::number(link.address())},
        {QStringLiteral("Model:"), model},
        {QStringLiteral("Release:"), release},
        {QStringLiteral("Firmware:"), t.firmwareCaption},
        {QStringLiteral("Definition:"),
         QStringLiteral("%1 (version %2)").arg(definition, t.definitionVersion)},
        {QStringLiteral("Entries:"), QStringLiteral("%1 setup, %2 data, %3 calibration")
                                         .arg(t.setupCount())
                                         .arg(t.dataCount())
                                         .arg(t.calibrationCount())}};
    for (const auto& [what, folder] : ProgramFolder::foldersInUse())
        rows.append({what + QLatin1Char(':'), folder});
    out.table({}, rows);
    return kExitOk;
}

int CliCommands::read(const CliOptions& o, const CliOutput& out) {
    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();
    const ParameterTable& t = s.table();
    QJsonArray list;
    QList<QStringList> rows;
    for (int i = 0; i < t.setupCount(); ++i) {
        const ParamEntry& e = t.entry(i);
        list.append(CliParams::entryJson(s, i));
        const auto why = s.requests().unread(i);
        rows.append(
            {QString::number(i), e.name, CliParams::roleText(e.role), CliParams::typeName(e.type),
             why ? QStringLiteral("unknown (%1)").arg(why->text()) : CliParams::shown(s, i)});
    }
    QJsonObject doc;
    doc.insert(QStringLiteral("definitionVersion"), t.definitionVersion);
    doc.insert(QStringLiteral("entries"), list);
    out.document(doc);
    out.table({QStringLiteral("INDEX"), QStringLiteral("NAME"), QStringLiteral("ROLE"),
               QStringLiteral("TYPE"), QStringLiteral("VALUE")},
              rows);
    return kExitOk;
}

int CliCommands::get(const CliOptions& o, const CliOutput& out) {
    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();
    const int index = CliParams::findSetupEntry(s.table(), o.args.at(0));
    // The read-out of the connection has just read every setup entry; one
    // it could not read is unknown, never the value of another instrument.
    if (const auto why = s.requests().unread(index))
        throw CliError{kExitInstrument, QStringLiteral("%1 is unknown: its read was %2")
                                            .arg(s.table().entry(index).name, why->text())};
    out.document(CliParams::entryJson(s, index));
    out.line(CliParams::shown(s, index));
    return kExitOk;
}

int CliCommands::set(const CliOptions& o, const CliOutput& out) {
    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();
    const int index = CliParams::findSetupEntry(s.table(), o.args.at(0));
    ParamEntry& e = s.table().entry(index);
    if (e.role == ParameterTable::kNoRole)
        throw CliError{kExitUsage,
                       QStringLiteral("%1 has no role, and the write path writes by role; only a "
                                      "restore sends it")
                           .arg(e.name)};
    const QString stored = CliParams::toStored(s, index, o.args.at(1));
    const QString before = e.value;

    QJsonObject doc;
    doc.insert(QStringLiteral("name"), e.name);
    doc.insert(QStringLiteral("role"), int(e.role));
    doc.insert(QStringLiteral("value"), stored);
    doc.insert(QStringLiteral("shown"), CliParams::shown(s, e.role, stored));

    // The write path skips a value equal to the stored one; say so rather
    // than report an answer that never came.
    const auto oldValue = parseReal(before);
    const auto newValue = parseReal(stored);
    if (!before.isEmpty() && oldValue && newValue && *oldValue == *newValue) {
        doc.insert(QStringLiteral("answer"), QStringLiteral("unchanged"));
        doc.insert(QStringLiteral("unsaved"), s.unsaved());
        out.document(doc);
        if (!o.quiet)
            out.line(QStringLiteral("%1 already holds %2; nothing sent")
                         .arg(e.name, CliParams::shown(s, index)));
        return kExitOk;
    }

    s.link().stato_link = 0;
    // A test mode on role 8 holds the instrument: like every test it ends
    // when the command does (CliLink::finish), and it is no setting to save.
    if (e.role == kTestModeRole && parseReal(stored).value_or(0) != 0)
        s.setOutputTest(true);
    s.writePath().write(int(e.role), stored);
    link.throwIfAborted(QStringLiteral("while %1 was written").arg(e.name));
    const Answer answer = answerOfLastWrite(s);
    doc.insert(QStringLiteral("answer"), answerText(answer));
    doc.insert(QStringLiteral("unsaved"), s.unsaved());
    if (answer == Answer::Refused)
        throw CliError{kExitInstrument,
                       QStringLiteral("the instrument refused %1 = %2 (exception 3)")
                           .arg(e.name, o.args.at(1).trimmed()),
                       doc};
    if (answer == Answer::NoAnswer)
        throw CliError{kExitInstrument,
                       QStringLiteral("no answer from the instrument to %1 = %2")
                           .arg(e.name, o.args.at(1).trimmed()),
                       doc};
    out.document(doc);
    if (!o.quiet)
        out.line(QStringLiteral("%1 = %2 acknowledged; not saved yet (velmora-cli save keeps it)")
                     .arg(e.name, CliParams::shown(s, e.role, stored)));
    return kExitOk;
}

int CliCommands::save(const CliOptions& o, const CliOutput& out) {
    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();
    s.link().stato_link = 0;
    s.requests().invia_comando(proto::kCmdSave);
    link.throwIfAborted(QStringLiteral("while the save command was sent"));
    const Answer answer = answerOfLastWrite(s);
    QJsonObject doc;
    doc.insert(QStringLiteral("answer"), answerText(answer));
    if (answer == Answer::Refused)
        throw CliError{kExitInstrument,
                       QStringLiteral("the instrument refused the save command (exception 3)"),
                       doc};
    if (answer == Answer::NoAnswer)
        throw CliError{kExitInstrument,
                       QStringLiteral("no answer from the instrument to the save command"), doc};
    s.setUnsaved(false);
    out.document(doc);
    if (!o.quiet)
        out.line(QStringLiteral("Saved."));
    return kExitOk;
}

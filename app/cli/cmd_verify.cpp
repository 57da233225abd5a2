// verify: the check after a calibration from a terminal. The person at the
// scale puts each load on and presses Enter; the weight is read once the
// instrument has reported it stable for a moment, and judged by the same
// verification the window's assistant keeps.
#include <unistd.h>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <memory>

#include "app/cli/clicommands.h"
#include "app/cli/clilink.h"
#include "base/programfolder.h"
#include "base/texts.h"
#include "device/liverefresh.h"
#include "localizer/freelocalizer.h"
#include "services/certificate.h"
#include "services/verification.h"

namespace {

// How long the stable flag must hold before a weight is read, and how long
// a load may take to settle before the run gives up.
constexpr int kHoldMs = 1000;
constexpr int kSettleLimitMs = 120000;
// The repeatability load is read this many times.
constexpr int kRepeatTimes = 3;

// Lines typed on stdin, read as they come so the link keeps running.
class StdinLines {
public:
    StdinLines() : notifier_(STDIN_FILENO, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { readSome(); });
    }
    bool hasLine() const { return pending_.contains('\n'); }
    bool ended() const { return ended_; }
    void takeLine() {
        const qsizetype eol = pending_.indexOf('\n');
        pending_.remove(0, eol + 1);
    }

private:
    void readSome() {
        char buf[256];
        ssize_t n;
        do {
            n = ::read(STDIN_FILENO, buf, sizeof buf);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            ended_ = true;
            notifier_.setEnabled(false);
            return;
        }
        pending_.append(buf, n);
    }

    QSocketNotifier notifier_;
    QByteArray pending_;
    bool ended_ = false;
};

void checkWritable(const QString& path, const char* option) {
    const QFileInfo info(path);
    if (info.isDir() || !QFileInfo(info.absolutePath()).isDir())
        throw CliError{kExitUsage,
                       QStringLiteral("--%1 %2: the folder %3 does not exist")
                           .arg(QString::fromLatin1(option), path, info.absolutePath())};
}

}  // namespace

int CliCommands::verify(const CliOptions& o, const CliOutput& out) {
    if (!o.certificate.isEmpty())
        checkWritable(o.certificate, "certificate");
    if (!o.csv.isEmpty())
        checkWritable(o.csv, "csv");

    CliLink link(o, out);
    link.connectInstrument();
    Session& s = link.session();

    const std::optional<double> division = Certificate::divisionOf(s);
    if (!division)
        throw CliError{kExitInstrument,
                       QStringLiteral("the instrument did not report its scale division")};
    QList<double> loads = o.loads;
    if (loads.isEmpty()) {
        const std::optional<double> maximum =
            shownWeight(s.controls().text(QStringLiteral("Eportata_max")));
        if (!maximum || *maximum <= 0)
            throw CliError{kExitInstrument,
                           QStringLiteral("the instrument did not report its maximum weight; "
                                          "give the loads with --loads")};
        loads = Verification::defaultLoads(*maximum, *division);
    }
    Verification v(*accuracyClassFromText(o.accuracy),
                   o.inService ? VerificationKind::InService : VerificationKind::Initial, *division,
                   Certificate::decimalsOf(s));

    QElapsedTimer clock;
    clock.start();
    StableWatch watch(kHoldMs);
    link.presentation().onLive = [&](const LiveResult& r) {
        watch.feed(clock.elapsed(), r.stable, s.controls().text(QStringLiteral("LbPeso")));
    };

    StdinLines input;
    const QList<double> order = Verification::sequence(loads);
    const double top = order.isEmpty() ? 0.0 : *std::max_element(order.begin(), order.end());
    bool passedTop = false;
    // The person puts `load` on and presses Enter; the weight as shown once stable.
    const auto readAt = [&](double load) {
        CliOutput::writeErr(
            QStringLiteral("Load %1 and press Enter\n").arg(v.number(load)).toLocal8Bit());
        link.waitFor([&] { return input.hasLine() || input.ended(); }, -1);
        link.throwIfAborted(QStringLiteral("the verification"));
        if (!input.hasLine())
            throw CliError{kExitUsage,
                           QStringLiteral("the input ended before load %1 was on the scale")
                               .arg(v.number(load))};
        input.takeLine();
        watch.restart();
        link.waitFor([&] { return watch.settled(); }, kSettleLimitMs);
        link.throwIfAborted(QStringLiteral("the verification"));
        if (!watch.settled())
            throw CliError{kExitInstrument,
                           QStringLiteral("the weight did not become stable with %1 on the scale")
                               .arg(v.number(load))};
        return watch.shown();
    };
    for (const double load : order) {
        const VerificationRow& row = v.record(load, readAt(load), passedTop);
        if (load == top)
            passedTop = true;
        if (!o.quiet)
            CliOutput::writeErr(QStringLiteral("  shown %1: %2\n")
                                    .arg(row.shownText, row.passed() ? QStringLiteral("pass")
                                                                     : QStringLiteral("fail"))
                                    .toLocal8Bit());
    }
    if (o.repeat) {
        v.startRepeatability(*o.repeat);
        for (int i = 0; i < kRepeatTimes; ++i) {
            if (i > 0 && !o.quiet)
                CliOutput::writeErr(QStringLiteral("Take the load off; again (%1 of %2)\n")
                                        .arg(i + 1)
                                        .arg(kRepeatTimes)
                                        .toLocal8Bit());
            v.recordRepeatability(readAt(*o.repeat));
        }
    }
    link.presentation().onLive = nullptr;

    CertificateData data;
    if (!o.certificate.isEmpty())
        data = Certificate::fromSession(s);
    link.finish();

    QJsonArray rows;
    QList<QStringList> table;
    for (const VerificationRow& r : v.rows()) {
        const std::optional<double> e = r.error();
        const QString verdict = r.passed() ? QStringLiteral("pass") : QStringLiteral("fail");
        QJsonObject row;
        row.insert(QStringLiteral("applied"), v.number(r.applied));
        row.insert(QStringLiteral("shown"),
                   r.shown ? QJsonValue(v.number(*r.shown)) : QJsonValue());
        row.insert(QStringLiteral("error"), e ? QJsonValue(v.number(*e)) : QJsonValue());
        row.insert(QStringLiteral("tolerance"), v.toleranceNumber(r.tolerance));
        row.insert(QStringLiteral("direction"),
                   r.downward ? QStringLiteral("down") : QStringLiteral("up"));
        row.insert(QStringLiteral("verdict"), verdict);
        rows.append(row);
        table.append({v.number(r.applied), r.shown ? v.number(*r.shown) : QStringLiteral("-"),
                      e ? v.number(*e) : QStringLiteral("-"),
                      QStringLiteral("±") + v.toleranceNumber(r.tolerance), verdict});
    }
    QJsonObject doc;
    doc.insert(QStringLiteral("class"), accuracyClassText(v.accuracy()));
    doc.insert(QStringLiteral("kind"),
               o.inService ? QStringLiteral("in service") : QStringLiteral("initial"));
    doc.insert(QStringLiteral("division"), v.number(v.division()));
    doc.insert(QStringLiteral("rows"), rows);
    if (const std::optional<RepeatabilityCheck>& rep = v.repeatability()) {
        QJsonArray readings;
        for (const std::optional<double>& shown : rep->shown)
            readings.append(shown ? QJsonValue(v.number(*shown)) : QJsonValue());
        const std::optional<double> spread = rep->spread();
        QJsonObject check;
        check.insert(QStringLiteral("load"), v.number(rep->load));
        check.insert(QStringLiteral("readings"), readings);
        check.insert(QStringLiteral("spread"),
                     spread ? QJsonValue(v.number(*spread)) : QJsonValue());
        check.insert(QStringLiteral("tolerance"), v.toleranceNumber(rep->tolerance));
        check.insert(QStringLiteral("verdict"),
                     rep->passed() ? QStringLiteral("pass") : QStringLiteral("fail"));
        doc.insert(QStringLiteral("repeatability"), check);
    }
    doc.insert(QStringLiteral("verdict"),
               v.passed() ? QStringLiteral("pass") : QStringLiteral("fail"));
    out.document(doc);
    out.table({QStringLiteral("APPLIED"), QStringLiteral("SHOWN"), QStringLiteral("ERROR"),
               QStringLiteral("TOLERANCE"), QStringLiteral("VERDICT")},
              table);
    if (const std::optional<RepeatabilityCheck>& rep = v.repeatability()) {
        const std::optional<double> spread = rep->spread();
        out.note(QStringLiteral("Repeatability at %1: spread %2, tolerance %3: %4")
                     .arg(v.number(rep->load), spread ? v.number(*spread) : QStringLiteral("-"),
                          QStringLiteral("±") + v.toleranceNumber(rep->tolerance),
                          rep->passed() ? QStringLiteral("pass") : QStringLiteral("fail")));
    }
    if (v.passed())
        out.note(QStringLiteral("Every reading is within tolerance"));
    else if (!v.failingRows().isEmpty())
        out.note(QStringLiteral("%1 of %2 readings are outside tolerance")
                     .arg(v.failingRows().size())
                     .arg(v.rows().size()));
    else
        out.note(QStringLiteral("The repeated readings spread more than the tolerance"));

    // The files are written for a failed verification too: it is a record.
    QString error;
    if (!o.csv.isEmpty() && !Certificate::writeCsv(v, o.csv, &error))
        throw CliError{kExitFile, error};
    if (!o.certificate.isEmpty()) {
        data.when = QDateTime::currentDateTime();
        data.technician = o.technician;
        data.customer = o.customer;
        data.tag = o.tag;
        const QString language = o.language.isEmpty() ? s.settings().lingua : o.language;
        TFreeLocalizer localizer;
        if (language != QLatin1String("English")) {
            const QString file = ProgramFolder::shipped(language + QStringLiteral(".lng"));
            if (!QFileInfo::exists(file) || !localizer.setLanguageFile(file)) {
                if (!o.language.isEmpty())
                    throw CliError{kExitUsage,
                                   QStringLiteral("--language %1: no such language file (%2)")
                                       .arg(o.language, file)};
                out.warn(QStringLiteral("the language %1 could not be read; the certificate "
                                        "is in English")
                             .arg(language));
            } else {
                localizer.hookTexts();
            }
        }
        const bool written = Certificate::writePdf(data, v, o.certificate, &error);
        Texts::setLookup({});
        if (!written)
            throw CliError{kExitFile, error};
    }
    return v.passed() ? kExitOk : kExitInstrument;
}

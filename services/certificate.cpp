#include "services/certificate.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <stdexcept>

#include "base/texts.h"
#include "device/decoding.h"
#include "device/paramtable.h"
#include "services/atomicfile.h"
#include "services/callog.h"
#include "session/session.h"

namespace {

constexpr int kRoleMaximum = 10;
constexpr int kRoleSensitivity = 11;
constexpr int kRoleUsedWeight = 12;

QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

// A value the instrument did not report is said to be so, never left blank.
QString orNotRead(const QString& text) {
    return text.trimmed().isEmpty() ? QStringLiteral("<i>%1</i>").arg(esc(tr_("not read")))
                                    : esc(text);
}

QString fieldRow(const QString& label, const QString& valueHtml) {
    return QStringLiteral("<tr><td width=\"38%\"><b>%1</b></td><td>%2</td></tr>")
        .arg(esc(label), valueHtml);
}

QString verdictText(bool pass) {
    return pass ? tr_("Pass") : tr_("Fail");
}

QString verdictCell(bool pass) {
    return QStringLiteral("<td align=\"center\" style=\"color:%1\"><b>%2</b></td>")
        .arg(pass ? QStringLiteral("#1a6b1a") : QStringLiteral("#b00000"), esc(verdictText(pass)));
}

const QString kTable = QStringLiteral(
    "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" border=\"1\" "
    "style=\"border-collapse:collapse; border-color:#888888\">");

}  // namespace

QString Certificate::shownValue(Session& session, quint32 role, const QString& value) {
    // What the pages cannot show as one text is given as stored.
    return session.decoder().shownText(int(role & 127), value).value_or(value);
}

std::optional<double> Certificate::divisionOf(Session& session) {
    const ControlState box = session.controls().state(QStringLiteral("CBUnit"));
    if (box.index < 0 || box.index >= box.items.size())
        return std::nullopt;
    bool ok = false;
    const double d = box.items.at(box.index).trimmed().toDouble(&ok);
    if (!ok || d <= 0.0)
        return std::nullopt;
    return d;
}

int Certificate::decimalsOf(Session& session) {
    return session.display().decimals;
}

CertificateData Certificate::fromSession(Session& session) {
    CertificateData d;
    const ParameterTable& t = session.table();
    static const QRegularExpression caption(QStringLiteral("^Progr\\.(\\S+) Rel\\.(\\S+)$"));
    const QRegularExpressionMatch m = caption.match(t.firmwareCaption);
    if (m.hasMatch()) {
        d.model = m.captured(1);
        d.release = m.captured(2);
    }
    if (!t.definitionPath.isEmpty())
        d.definitionFile = QFileInfo(t.definitionPath).fileName();
    d.address = QString::number(session.link().indirizzo.load());

    // The calibration page's fields, as the instrument filled them.
    const ControlModel& c = session.controls();
    if (divisionOf(session)) {
        const ControlState box = c.state(QStringLiteral("CBUnit"));
        d.division = box.items.at(box.index).trimmed();
    }
    const auto fieldOf = [&](const char* control, int role) {
        // Only a role whose entry holds a value was read from the instrument.
        return session.table().findRole(role) >= 0 &&
                       !session.table().entry(session.table().findRole(role)).value.isEmpty()
                   ? c.text(QString::fromLatin1(control)).trimmed()
                   : QString();
    };
    d.maximum = fieldOf("Eportata_max", kRoleMaximum);
    d.sensitivity = fieldOf("ESensibility", kRoleSensitivity);
    d.usedWeight = fieldOf("Efs", kRoleUsedWeight);

    if (const std::optional<CalLog> log = loadcallog()) {
        d.calibrationCount = log->count;
        d.calibrationDate = log->date;
    }
    for (int i = 0; i < t.setupCount(); ++i) {
        const ParamEntry& e = t.entry(i);
        // The calibration page marks the maximum weight "0" after a zero
        // or an acquire so that its next Send writes it again; the field
        // still shows what the instrument holds.
        const bool marked = (e.role & 127) == kRoleMaximum;
        d.setup.append({e.name, marked ? d.maximum : shownValue(session, e.role, e.value)});
    }
    return d;
}

QString Certificate::html(const CertificateData& d, const Verification& v) {
    QString h;
    h += QStringLiteral("<html><body>");
    h += QStringLiteral("<h2 align=\"center\">%1</h2>")
             .arg(esc(tr_("Calibration and verification certificate")));

    h += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">");
    h += fieldRow(tr_("Date and time"),
                  orNotRead(d.when.isValid() ? d.when.toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                             : QString()));
    h += fieldRow(tr_("Technician"), orNotRead(d.technician));
    h += fieldRow(tr_("Customer / site"), orNotRead(d.customer));
    h += fieldRow(tr_("Instrument tag"), orNotRead(d.tag));
    h += QStringLiteral("</table>");

    h += QStringLiteral("<h3>%1</h3>").arg(esc(tr_("Instrument")));
    h += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">");
    h += fieldRow(tr_("Model"), orNotRead(d.model));
    h += fieldRow(tr_("Release"), orNotRead(d.release));
    h += fieldRow(tr_("Definition file"), orNotRead(d.definitionFile));
    h += fieldRow(tr_("Address"), orNotRead(d.address));
    h += fieldRow(tr_("Maximum weight"), orNotRead(d.maximum));
    h += fieldRow(tr_("Scale division"), orNotRead(d.division));
    h += fieldRow(tr_("Sensitivity"), d.sensitivity.isEmpty()
                                          ? orNotRead(QString())
                                          : esc(d.sensitivity) + QStringLiteral(" mV/V"));
    h += fieldRow(tr_("Used weight"), orNotRead(d.usedWeight));
    h += fieldRow(tr_("Calibration number"), orNotRead(d.calibrationCount));
    h += fieldRow(tr_("Calibration date"), orNotRead(d.calibrationDate));
    h += QStringLiteral("</table>");

    h += QStringLiteral("<h3>%1</h3>").arg(esc(tr_("Reference weights")));
    if (d.references.isEmpty()) {
        // Nothing was to be read: the technician entered none.
        h += QStringLiteral("<p><i>%1</i></p>").arg(esc(tr_("none given")));
    } else {
        h += kTable;
        h += QStringLiteral("<tr><th>%1</th><th>%2</th></tr>")
                 .arg(esc(tr_("Value")), esc(tr_("Certificate number")));
        for (const ReferenceWeight& r : d.references)
            h += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>")
                     .arg(orNotRead(r.value), orNotRead(r.certificate));
        h += QStringLiteral("</table>");
    }

    h += QStringLiteral("<h3>%1</h3>").arg(esc(tr_("Verification")));
    h +=
        QStringLiteral("<p>%1: %2 &nbsp;&nbsp; %3: %4</p>")
            .arg(esc(tr_("Accuracy class")), esc(accuracyClassText(v.accuracy())),
                 esc(tr_("Verification kind")),
                 esc(v.kind() == VerificationKind::InService ? tr_("In service") : tr_("Initial")));
    h += kTable;
    h +=
        QStringLiteral("<tr><th>#</th><th>%1</th><th>%2</th><th>%3</th><th>%4</th><th>%5</th></tr>")
            .arg(esc(tr_("Applied")), esc(tr_("Shown")), esc(tr_("Error")), esc(tr_("Tolerance")),
                 esc(tr_("Verdict")));
    for (qsizetype i = 0; i < v.rows().size(); ++i) {
        const VerificationRow& r = v.rows()[i];
        const std::optional<double> e = r.error();
        h += QStringLiteral(
                 "<tr><td align=\"right\">%1 %2</td><td align=\"right\">%3</td>"
                 "<td align=\"right\">%4</td><td align=\"right\">%5</td>"
                 "<td align=\"right\">±%6</td>%7</tr>")
                 .arg(i + 1)
                 .arg(r.downward ? QStringLiteral("&#8595;") : QStringLiteral("&#8593;"),
                      esc(v.number(r.applied)), r.shown ? esc(v.number(*r.shown)) : orNotRead({}),
                      e ? esc(v.number(*e)) : QStringLiteral("&#8212;"),
                      esc(v.toleranceNumber(r.tolerance)), verdictCell(r.passed()));
    }
    h += QStringLiteral("</table>");

    if (const auto& rep = v.repeatability()) {
        h += QStringLiteral("<h3>%1</h3>").arg(esc(tr_("Repeatability")));
        h += kTable;
        h += QStringLiteral("<tr><th>%1</th>").arg(esc(tr_("Load")));
        for (qsizetype i = 0; i < rep->shown.size(); ++i)
            h += QStringLiteral("<th>%1 %2</th>").arg(esc(tr_("Shown"))).arg(i + 1);
        h += QStringLiteral("<th>%1</th><th>%2</th><th>%3</th></tr>")
                 .arg(esc(tr_("Spread")), esc(tr_("Tolerance")), esc(tr_("Verdict")));
        h += QStringLiteral("<tr><td align=\"right\">%1</td>").arg(esc(v.number(rep->load)));
        for (const std::optional<double>& s : rep->shown)
            h += QStringLiteral("<td align=\"right\">%1</td>")
                     .arg(s ? esc(v.number(*s)) : orNotRead({}));
        const std::optional<double> spread = rep->spread();
        h += QStringLiteral("<td align=\"right\">%1</td><td align=\"right\">±%2</td>%3</tr>")
                 .arg(spread ? esc(v.number(*spread)) : QStringLiteral("&#8212;"),
                      esc(v.toleranceNumber(rep->tolerance)), verdictCell(rep->passed()));
        h += QStringLiteral("</table>");
    }

    h += QStringLiteral("<h3>%1: <span style=\"color:%2\">%3</span></h3>")
             .arg(esc(tr_("Overall verdict")),
                  v.passed() ? QStringLiteral("#1a6b1a") : QStringLiteral("#b00000"),
                  esc(verdictText(v.passed())));
    h += QStringLiteral("<p><br/><br/>%1: ________________________________</p>")
             .arg(esc(tr_("Signature")));

    // Second page: the setup the scale was verified with.
    h += QStringLiteral("<h3 style=\"page-break-before: always\">%1</h3>")
             .arg(esc(tr_("Setup entries")));
    h += kTable;
    h += QStringLiteral("<tr><th>%1</th><th>%2</th></tr>").arg(esc(tr_("Name")), esc(tr_("Value")));
    for (const auto& [name, value] : d.setup)
        h += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(esc(name), orNotRead(value));
    h += QStringLiteral("</table></body></html>");
    return h;
}

bool Certificate::writePdf(const CertificateData& data, const Verification& verification,
                           const QString& path, QString* error) {
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(9.5);
    doc.setDefaultFont(font);
    doc.setHtml(html(data, verification));

    // Rendered into memory first: a failure half-way must leave no file.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setResolution(300);
        writer.setTitle(tr_("Calibration and verification certificate"));
        writer.setCreator(QStringLiteral("Velmora"));
        doc.print(&writer);
    }
    if (buffer.data().isEmpty()) {
        if (error)
            *error = QStringLiteral("%1: the certificate could not be rendered").arg(path);
        return false;
    }
    return writeFileAtomically(path, buffer.data(), error);
}

bool Certificate::writeCsv(const Verification& verification, const QString& path, QString* error) {
    return writeFileAtomically(path, verification.csv(), error);
}

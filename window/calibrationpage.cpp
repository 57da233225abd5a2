#include "window/calibrationpage.h"

#include <QCoreApplication>
#include <QImage>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>
#include <QSignalBlocker>

#include "base/eventlog.h"
#include "base/texts.h"
#include "device/decoding.h"
#include "services/callog.h"
#include "session/pagecontext.h"
#include "ui_calibrationpage.h"
#include "window/calibrationassistant.h"
#include "window/valuecheck.h"

namespace {

constexpr int kRoleDivision = 0;
constexpr int kRoleSetpoint1 = 3;
constexpr int kRoleSetpoint2 = 4;
constexpr int kRoleKnownWeight = 7;
constexpr int kRoleMaximum = 10;
constexpr int kRoleSensitivity = 11;
constexpr int kRoleUsedWeight = 12;
constexpr int kRoleTare = 13;
constexpr int kRoleAnalogFullScale = 36;

constexpr quint8 kCmdCalibrationZero = 16;
constexpr quint8 kCmdAcquire = 17;
constexpr quint8 kCmdResetArm = 18;
constexpr quint8 kCmdReset = 19;

// 4.0000 mV/V, typed as it stands.
constexpr qint64 kSensitivityLimit = 40000;

QString withoutPoints(QString text) {
    return text.remove(QLatin1Char('.'));
}

}  // namespace

CalibrationPage::CalibrationPage(PageContext& context, CertificateSource source, QWidget* parent)
    : Page(context, parent), ui(new Ui::CalibrationPage), certificateSource_(std::move(source)) {
    ui->setupUi(this);
    claimControls();

    const auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* e : {ui->Eportata_max, ui->epretare, ui->Efs})
        e->setValidator(digits);

    // The core reads these fields from its mirror (the decimals refresh
    // reformats Epeso1): it must start from what the page shows.
    this->context().userChanged(
        ControlUpdate::setItems(QStringLiteral("CBUnit"), Decoder::scaleDivisions()));
    {
        // No division is known before the instrument reports one.
        const QSignalBlocker quiet(ui->CBUnit);
        ui->CBUnit->setCurrentIndex(-1);
    }
    for (QLineEdit* e : {ui->Eportata_max, ui->ESensibility, ui->epretare, ui->Efs, ui->Epeso1}) {
        this->context().userChanged(ControlUpdate::setText(e->objectName(), e->text()));
        connect(e, &QLineEdit::textChanged, this, [this, e](const QString& text) {
            this->context().userChanged(ControlUpdate::setText(e->objectName(), text));
        });
    }
    for (QLineEdit* e : {ui->Eportata_max, ui->ESensibility, ui->epretare, ui->Efs})
        connect(e, &QLineEdit::textChanged, this, &CalibrationPage::EfsChange);

    connect(ui->CBUnit, &QComboBox::currentIndexChanged, this, &CalibrationPage::CBUnitChange);
    connect(ui->bt_send, &QPushButton::clicked, this, &CalibrationPage::bt_sendClick);
    connect(ui->bt_zero, &QPushButton::clicked, this, &CalibrationPage::bt_zeroClick);
    connect(ui->bt_acquire1, &QPushButton::clicked, this, &CalibrationPage::bt_acquire1Click);
    connect(ui->BtReset_cal, &QPushButton::clicked, this, &CalibrationPage::BtReset_calClick);
    // Not one of the page's designed controls: it has no name for the
    // language files to address, and follows the language through tr_().
    guided_ = new QPushButton(tr_("Guided calibration…"), ui->GBCalib);
    guided_->setMinimumSize(150, 40);
    ui->GBCalibLayout->addWidget(guided_, 3, 1);
    connect(guided_, &QPushButton::clicked, this, &CalibrationPage::openAssistant);
    setSendState(SendState::Matches);
}

CalibrationPage::~CalibrationPage() {
    delete ui;
}

void CalibrationPage::windowShown() {
    loadcallog();
}

void CalibrationPage::setSendState(SendState state) {
    if (state == sendState_)
        return;
    sendState_ = state;
    ui->bt_send->setStyleSheet(
        QStringLiteral(
            "QPushButton { background-color: %1; border: 1px solid #8a5a2a;"
            " border-radius: 4px; font-weight: bold; } QPushButton:disabled { color: #6a4a2a; }")
            .arg(sendColour().name(QColor::HexRgb)));
}

void CalibrationPage::showText(QLineEdit* field, const QString& text) {
    {
        const QSignalBlocker quiet(field);
        field->setText(text);
    }
    context().userChanged(ControlUpdate::setText(field->objectName(), text));
}

void CalibrationPage::notCorrect() {
    context().showError(tr_("The value is not correct!"));
}

// ------------------------------------------------------------ base settings

void CalibrationPage::CBUnitChange() {
    if (unitChanging_)
        return;
    const QScopedValueRollback<bool> running(unitChanging_, true);
    const int index = ui->CBUnit->currentIndex();
    if (index < 0)
        return;
    PageContext& c = context();
    c.userChanged(ControlUpdate::setIndex(QStringLiteral("CBUnit"), index));
    // A refused write puts the instrument's division back into the box.
    c.writeParameter(kRoleDivision, QString::number(index));
    c.refreshDecimals();
    if (c.unsaved())
        for (int role : {kRoleSetpoint1, kRoleSetpoint2, kRoleAnalogFullScale})
            c.readBack(role);
    c.readBack(kRoleDivision);
    c.setUsedWeight(c.display().usedWeight);

    // A change made while this one was under way was not sent: the box
    // goes back to the division the core holds.
    const int held = c.control(QStringLiteral("CBUnit")).index;
    if (ui->CBUnit->currentIndex() != held) {
        const QSignalBlocker quiet(ui->CBUnit);
        ui->CBUnit->setCurrentIndex(held);
    }
}

void CalibrationPage::EfsChange() {
    setSendState(SendState::Matches);
    const struct {
        QString field;
        int role;
    } pairs[] = {
        {ui->Eportata_max->text(), kRoleMaximum},
        {withoutPoints(ui->ESensibility->text()), kRoleSensitivity},
        {ui->epretare->text(), kRoleTare},
        {ui->Efs->text(), kRoleUsedWeight},
    };
    for (const auto& p : pairs) {
        const std::optional<qint64> shown = parseInteger(p.field.trimmed());
        const std::optional<qint64> held = parseInteger(context().valueOfRole(p.role).trimmed());
        if (!shown || !held)
            return;  // half-typed: nothing to compare yet
        if (*shown != *held)
            setSendState(SendState::Differs);
    }
}

bool CalibrationPage::sendChecksPass() {
    QWidget* owner = window();
    const QString sensitivity = ui->ESensibility->text().trimmed();
    if (!controlla_valore(owner, sensitivity, kSensitivityLimit))
        return false;
    // "2.0.0" passes the bound once its points are gone, yet is no number:
    // it is refused here, before the maximum weight and the used weight
    // have gone out.
    const std::optional<double> mvv = parseReal(sensitivity);
    if (!mvv) {
        context().showError(notANumber(sensitivity));
        return false;
    }

    const QString maxText = ui->Eportata_max->text().trimmed();
    const std::optional<qint64> maximum = parseInteger(maxText);
    if (!maximum) {
        context().showError(notAnInteger(maxText));
        return false;
    }
    const QString tare = ui->epretare->text().trimmed();
    const QString used = ui->Efs->text().trimmed();
    if (!controlla_valore(owner, tare, *maximum) || !controlla_valore(owner, used, *maximum))
        return false;
    // Both are integers once their points are gone: the checks above say so.
    const qint64 sum = *parseInteger(withoutPoints(tare)) + *parseInteger(withoutPoints(used));
    if (!controlla_valore(owner, QString::number(sum), *maximum))
        return false;

    // Every value must fit its parameter before the first is written, or a
    // refusal half-way leaves the instrument with half the settings.
    const QString sensitivityCount = withoutPoints(formatFixed(*mvv, 4));
    const struct {
        int role;
        QString value;
        QString shown;
    } values[] = {
        {kRoleMaximum, maxText, maxText},
        {kRoleUsedWeight, used, used},
        {kRoleSensitivity, sensitivityCount, sensitivity},
        {kRoleTare, tare, tare},
    };
    for (const auto& v : values)
        if (!context().acceptsValue(v.role, v.value)) {
            context().showError(tr_("Invalid number!") + QLatin1String(" :") + v.shown);
            return false;
        }
    return true;
}

void CalibrationPage::bt_sendClick() {
    // The texts as checked: the question and the writes let events run, and
    // a field edited meanwhile must not send a value that was never checked.
    const QString maximum = ui->Eportata_max->text().trimmed();
    const QString used = ui->Efs->text().trimmed();
    const QString tare = ui->epretare->text().trimmed();
    const QString typedSensitivity = ui->ESensibility->text().trimmed();
    if (!sendChecksPass())
        return;
    const QString sensitivity = formatFixed(parseReal(typedSensitivity).value_or(0.0), 4);
    QCoreApplication::processEvents();
    PageContext& c = context();
    if (!c.offlineMode() && !c.ask(tr_("Are you sure?")))
        return;
    setSendState(SendState::Matches);
    ui->bt_send->setEnabled(false);

    c.writeParameter(kRoleMaximum, maximum);
    c.writeParameter(kRoleUsedWeight, used);
    showText(ui->ESensibility, sensitivity);
    c.writeParameter(kRoleSensitivity, withoutPoints(sensitivity));  // 2.0000 mV/V goes as 20000
    c.writeParameter(kRoleTare, tare);

    if (c.unsaved())
        for (int role :
             {kRoleDivision, kRoleSetpoint1, kRoleSetpoint2, kRoleUsedWeight, kRoleAnalogFullScale})
            c.readBack(role);

    // The field, not the text sent: a refused used weight shows the
    // instrument's again.
    const double usedWeight = parseReal(ui->Efs->text().trimmed()).value_or(0.0);
    c.setUsedWeight(usedWeight);
    c.showAnalogFullScale(formatFixed(usedWeight, c.display().decimals));
    ui->bt_send->setEnabled(true);
    // The colour tells what the instrument now holds, refusals included.
    EfsChange();
}

// -------------------------------------------------------------- calibration

void CalibrationPage::bt_zeroClick() {
    runZero();
}

bool CalibrationPage::runZero() {
    const Outcome sent = context().sendCommand(kCmdCalibrationZero);
    context().setValueText(kRoleMaximum, QStringLiteral("0"));
    return sent.isAnswered();
}

void CalibrationPage::bt_acquire1Click() {
    runAcquire(ui->Epeso1->text());
}

void CalibrationPage::openAssistant() {
    if (!context().online()) {
        context().showError(
            tr_("The guided calibration needs the instrument online: it zeroes, calibrates "
                "and reads the weight. Connect the instrument first."));
        return;
    }
    auto* assistant = new CalibrationAssistant(
        context(),
        {[this] { return runZero(); }, [this](const QString& w) { return runAcquire(w); },
         certificateSource_.division, certificateSource_.certificate},
        this);
    assistant->setAttribute(Qt::WA_DeleteOnClose);
    assistant->setWindowModality(Qt::WindowModal);
    assistant->show();
}

bool CalibrationPage::runAcquire(const QString& weightText) {
    PageContext& c = context();
    if (c.lineBusy())
        return false;
    const int decimals = c.display().decimals;
    const std::optional<qint64> count = countOf(weightText.trimmed(), decimals);
    if (!count) {
        notCorrect();
        return false;
    }
    showText(ui->Epeso1, countText(*count, decimals));
    // Nothing, less than nothing, or less than one division is no weight to
    // calibrate the scale on.
    const QString divisions = c.scaleDown(QString::number(*count));
    if (*count <= 0 || parseInteger(divisions).value_or(0) <= 0) {
        notCorrect();
        return false;
    }
    // Sent even when the instrument already holds this known weight.
    const Outcome written = c.forceWrite(kRoleKnownWeight, divisions);
    // Only a calibration the instrument took is one to count.
    const bool taken = written.isAnswered() && c.sendCommand(kCmdAcquire).isAnswered();
    if (taken)
        salvacallog();
    c.setValueText(kRoleMaximum, QStringLiteral("0"));
    return taken;
}

void CalibrationPage::BtReset_calClick() {
    PageContext& c = context();
    if (!c.ask(tr_("Are you sure?")))
        return;
    c.sendCommand(kCmdResetArm);
    c.sendCommand(kCmdReset);
    c.setValueText(kRoleMaximum, QStringLiteral("0"));
}

// ---------------------------------------------------------- calibration log

void CalibrationPage::languageChanged() {
    guided_->setText(tr_("Guided calibration…"));
    loadcallog();
}

void CalibrationPage::loadcallog() {
    const std::optional<CalLog> log = ::loadcallog();
    if (!log)
        return;
    ui->lbnumcalib->setText(log->count);
    ui->lbdatecalib->setText(log->date);
    context().userChanged(ControlUpdate::setText(QStringLiteral("lbnumcalib"), log->count));
    context().userChanged(ControlUpdate::setText(QStringLiteral("lbdatecalib"), log->date));
}

void CalibrationPage::salvacallog() {
    const CalLogSave saved = ::salvacallog(ui->lbnumcalib->text());
    if (!saved.shown.count.isEmpty()) {
        ui->lbnumcalib->setText(saved.shown.count);
        ui->lbdatecalib->setText(saved.shown.date);
        context().userChanged(
            ControlUpdate::setText(QStringLiteral("lbnumcalib"), saved.shown.count));
        context().userChanged(
            ControlUpdate::setText(QStringLiteral("lbdatecalib"), saved.shown.date));
    }
    if (!saved.ok) {
        EventLog::log(QStringLiteral("Errore: salvacallog - ") + saved.error);
        context().showError(saved.error);
    }
}

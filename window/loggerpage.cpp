#include "window/loggerpage.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>

#include "base/eventlog.h"
#include "base/texts.h"
#include "device/comboitems.h"
#include "device/numberformat.h"
#include "session/pagecontext.h"
#include "ui_loggerpage.h"

namespace {
const QString kMode = QStringLiteral("CBtipologPC");

// The stop value as the tick reads it: a whole number of lines or seconds.
std::optional<qint64> stopValueOf(const QString& text) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    return ok && v >= 0 ? std::optional<qint64>(v) : std::nullopt;
}
}  // namespace

LoggerPage::LoggerPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::LoggerPage) {
    ui->setupUi(this);
    claimControls();
    tlog_.setParent(this);
    tlog_.setObjectName(QStringLiteral("Tlog"));
    connect(&tlog_, &QTimer::timeout, this, &LoggerPage::TlogTimer);

    {
        const QSignalBlocker quiet(ui->CBtipologPC);
        ui->CBtipologPC->addItems(ComboItems::items(kMode));
        ui->CBtipologPC->setCurrentIndex(0);
    }
    ui->ElogstopPC->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), this));
    QFont count = ui->LbPClogcount->font();
    count.setBold(true);
    count.setPixelSize(count.pixelSize() > 0 ? count.pixelSize() + 4 : 16);
    ui->LbPClogcount->setFont(count);

    connect(ui->btlogfile, &QPushButton::clicked, this, &LoggerPage::btlogfileClick);
    connect(ui->btStartPC, &QPushButton::clicked, this, &LoggerPage::btStartPCClick);
    connect(ui->btStopPC, &QPushButton::clicked, this, &LoggerPage::btStopPCClick);
    connect(ui->CBtipologPC, &QComboBox::activated, this, [this](int index) {
        setMode(index);
        CBtipologPCChange();
    });
    connect(ui->eintervalPC, &QLineEdit::editingFinished, this, &LoggerPage::eintervalPCExit);
    connect(ui->ElogstopPC, &QLineEdit::editingFinished, this, &LoggerPage::ElogstopPCExit);
    CBtipologPCChange();
}

LoggerPage::~LoggerPage() {
    delete ui;
}

void LoggerPage::settingsLoaded() {
    const PageContext::LoggerSetup s = context().loggerSetup();
    ui->Elogfile->setText(s.file);
    ui->eintervalPC->setText(s.interval);
    if (const auto v = DataLogger::normalizeInterval(s.interval))
        lastInterval_ = *v;
    ui->ElogstopPC->setText(s.count);
    // A mode the list does not hold is taken as manual control.
    bool ok = false;
    const int mode = s.mode.toInt(&ok);
    setMode(ok && mode >= 0 && mode < ui->CBtipologPC->count() ? mode : 0);
    CBtipologPCChange();
}

void LoggerPage::windowShown() {
    verify_logfile();
}

void LoggerPage::windowClosing() {
    tlog_.stop();
}

void LoggerPage::setMode(int index) {
    {
        const QSignalBlocker quiet(ui->CBtipologPC);
        ui->CBtipologPC->setCurrentIndex(index);
    }
    // The mirror follows, so the offline look's default selection never
    // overrides a chosen mode.
    context().userChanged(ControlUpdate::setIndex(kMode, index));
    context().userChanged(ControlUpdate::setText(kMode, ui->CBtipologPC->itemText(index)));
}

void LoggerPage::CBtipologPCChange() {
    const int mode = std::max(0, ui->CBtipologPC->currentIndex());
    const bool stopShown = mode != DataLogger::Manual;
    ui->ElogstopPC->setVisible(stopShown);
    ui->lblogstopPC->setVisible(stopShown);
    if (mode == DataLogger::NumberOfLogs)
        ui->lblogstopPC->setText(tr_("Number of logs"));
    else if (mode == DataLogger::TimeBased)
        ui->lblogstopPC->setText(tr_("Seconds"));
    keep(&PageContext::LoggerSetup::mode, QString::number(mode));
}

void LoggerPage::eintervalPCExit() {
    // A text that is no number gets back the last one accepted.
    const std::optional<QString> v = DataLogger::normalizeInterval(ui->eintervalPC->text());
    if (v)
        lastInterval_ = *v;
    ui->eintervalPC->setText(lastInterval_);
    keep(&PageContext::LoggerSetup::interval, lastInterval_);
}

void LoggerPage::ElogstopPCExit() {
    keep(&PageContext::LoggerSetup::count, ui->ElogstopPC->text());
}

void LoggerPage::btlogfileClick() {
    const QString current = ui->Elogfile->text();
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("Save1"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // START asks about an existing file; choosing one only names it.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(tr_("LogFile(*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (!current.isEmpty()) {
        const QFileInfo info(current);
        if (info.absoluteDir().exists())
            dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString path = dialog.selectedFiles().constFirst();
        keep(&PageContext::LoggerSetup::file, path);
        ui->Elogfile->setText(path);
    }
    verify_logfile();
}

void LoggerPage::keep(QString PageContext::LoggerSetup::*field, const QString& value) {
    PageContext::LoggerSetup setup = context().loggerSetup();
    setup.*field = value;
    context().keepLoggerSetup(setup);
}

void LoggerPage::showCount(qint64 count) {
    ui->LbPClogcount->setText(QString::number(count));
}

void LoggerPage::verify_logfile() {
    const QString path = ui->Elogfile->text();
    const qint64 lines = path.isEmpty() ? 0 : DataLogger::countLines(path);
    showCount(lines);
    startCount_ = lines;
}

void LoggerPage::btStartPCClick() {
    const QString path = ui->Elogfile->text();
    if (path.isEmpty()) {
        context().showError(tr_("File not Found!"));
        return;
    }
    const int mode = std::max(0, ui->CBtipologPC->currentIndex());
    // A run that could never reach its limit is not started.
    const std::optional<qint64> stop = stopValueOf(ui->ElogstopPC->text());
    if (mode != DataLogger::Manual && !stop) {
        context().showError(tr_("Invalid stop value!"));
        return;
    }
    stopValue_ = stop.value_or(0);
    // A restart goes through the same steps.
    tlog_.stop();
    // The interval is taken through the edit's own check.
    eintervalPCExit();
    ElogstopPCExit();
    const bool overwrite =
        !QFileInfo::exists(path) || context().ask(tr_("File exist, overwrite it?"));
    QString error;
    if (!logger_.start(path, overwrite, &error)) {
        EventLog::log(QStringLiteral("Errore: Data logger - ") + error);
        context().showError(tr_("Data logger stopped!") + QStringLiteral("\r\n") + error);
        btStopPCClick();
        verify_logfile();
        return;
    }
    verify_logfile();
    tlog_.setInterval(DataLogger::intervalMs(lastInterval_));
    tlog_.start();
    ui->btStopPC->setEnabled(true);
    ui->LbPClogcount->show();
    ui->eintervalPC->setEnabled(false);
    ui->CBtipologPC->setEnabled(false);
}

void LoggerPage::btStopPCClick() {
    tlog_.stop();
    ui->btStopPC->setEnabled(false);
    ui->eintervalPC->setEnabled(true);
    ui->CBtipologPC->setEnabled(true);
}

void LoggerPage::TlogTimer() {
    QString error;
    const QString weight = context().control(QStringLiteral("LbPeso")).text;
    // A file removed meanwhile is created again and the count goes on.
    if (!logger_.tick(QDateTime::currentDateTime(), weight, &error)) {
        // Logging that cannot write must not go on pretending to.
        btStopPCClick();
        EventLog::log(QStringLiteral("Errore: Data logger - ") + error);
        context().showError(tr_("Data logger stopped!") + QStringLiteral("\r\n") + error);
        return;
    }
    showCount(logger_.count());
    const int mode = std::max(0, ui->CBtipologPC->currentIndex());
    // The stop edit stays open while logging; a text emptied meanwhile keeps
    // the value the run started with.
    if (const std::optional<qint64> typed = stopValueOf(ui->ElogstopPC->text()))
        stopValue_ = *typed;
    const double interval = parseReal(lastInterval_).value_or(0.0);
    if (DataLogger::limitReached(static_cast<DataLogger::Mode>(mode), logger_.added(), stopValue_,
                                 interval))
        btStopPCClick();
}

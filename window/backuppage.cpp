#include "window/backuppage.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>

#include "base/eventlog.h"
#include "base/texts.h"
#include "services/backupservice.h"
#include "session/pagecontext.h"
#include "ui_backuppage.h"
#include "window/pictures.h"

namespace {
const QString kLineEnd = QStringLiteral("\r\n");
}

BackupPage::BackupPage(PageContext& context, ServiceMaker makeService, QWidget* parent)
    : Page(context, parent), ui(new Ui::BackupPage), makeService_(std::move(makeService)) {
    ui->setupUi(this);
    claimControls();
    ui->img_warning->setPixmap(Pictures::get(QStringLiteral("error"), QSize(44, 44)));
    for (QLabel* warning : {ui->lbwarning1, ui->lbwarning2}) {
        QFont f = warning->font();
        f.setBold(true);
        warning->setFont(f);
        warning->setStyleSheet(QStringLiteral("color: #c00000;"));
    }
    QFont title = ui->GB_Reset->font();
    title.setBold(true);
    ui->GB_Reset->setFont(title);
    ui->Barg->hide();

    connect(ui->BtBackup, &QPushButton::clicked, this, &BackupPage::BtBackupClick);
    connect(ui->btRestore, &QPushButton::clicked, this, &BackupPage::btRestoreClick);
    connect(ui->btReset, &QPushButton::clicked, this, &BackupPage::btResetClick);
}

BackupPage::~BackupPage() {
    delete ui;
}

QString BackupPage::chooseFile(QFileDialog::AcceptMode mode) {
    const bool save = mode == QFileDialog::AcceptSave;
    QFileDialog dialog(this);
    dialog.setObjectName(save ? QStringLiteral("Save1") : QStringLiteral("Open1"));
    dialog.setAcceptMode(mode);
    // A typed name that does not exist reaches the restore, which says so.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The page asks "File exist, overwrite it?" itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(tr_("Setting(*.mem)"));
    if (save)
        dialog.setDefaultSuffix(QStringLiteral("mem"));
    const QString folder = context().backupFolder();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        dialog.setDirectory(folder);
    context().setExclusiveUse(true);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    context().setExclusiveUse(false);
    return chosen ? dialog.selectedFiles().constFirst() : QString();
}

void BackupPage::keepChoice(const QString& path) {
    context().keepBackupFolder(QFileInfo(path).absolutePath() + QLatin1Char('/'));
    ui->Efilename->setText(path);
}

void BackupPage::runTransfer(const std::function<void(BackupService&)>& transfer) {
    // A backup or restore never runs beside an output or analog test.
    context().endRunningTests();
    const std::unique_ptr<BackupService> made = makeService_();
    BackupService& service = *made;
    service.progress = [this](int position, int maximum) { showProgress(position, maximum); };
    // The buttons stay off while the transfer waits on the instrument with
    // the window's messages running, so no second sequence can start inside it.
    running_ = true;
    for (QWidget* w : {static_cast<QWidget*>(ui->BtBackup), static_cast<QWidget*>(ui->btRestore),
                       static_cast<QWidget*>(ui->btReset)})
        w->setEnabled(false);
    transfer(service);
    running_ = false;
    ui->btRestore->setEnabled(true);
    ui->btReset->setEnabled(true);
    // A restore enables BtBackup itself; a backup leaves it as it was found.
    ui->BtBackup->setEnabled(true);
    showProgress(0, -1);
}

void BackupPage::showProgress(int position, int maximum) {
    if (maximum < 0) {
        ui->Barg->hide();
        ui->Barg->setValue(0);
        return;
    }
    ui->Barg->setRange(0, maximum);
    ui->Barg->setValue(position);
    ui->Barg->show();
}

void BackupPage::BtBackupClick() {
    if (running_)
        return;
    const QString path = chooseFile(QFileDialog::AcceptSave);
    if (path.isEmpty())
        return;
    keepChoice(path);
    if (!context().ask(tr_("Are you sure to save the file:") + kLineEnd + path +
                       QStringLiteral(" ?")))
        return;
    // Nothing is read from the instrument unless the file may be replaced.
    if (QFileInfo::exists(path) && !context().ask(tr_("File exist, overwrite it?")))
        return;
    runTransfer([this, path](BackupService& service) {
        QString error;
        // The file is written whole or not at all: an old one stays as it was.
        if (!service.backup(path, &error)) {
            EventLog::log(QStringLiteral("Errore: Backup non salvato - ") + error);
            context().showError(tr_("Backup not saved!") + kLineEnd + error);
        }
    });
}

void BackupPage::btRestoreClick() {
    if (running_)
        return;
    const QString path = chooseFile(QFileDialog::AcceptOpen);
    if (path.isEmpty())
        return;
    keepChoice(path);
    if (!QFileInfo(path).isFile()) {
        context().showError(tr_("File not Found!") + kLineEnd + QFileInfo(path).fileName());
        return;
    }
    runTransfer([this, path](BackupService& service) {
        service.confirmRestore = [this, path] {
            return context().ask(tr_("Are you sure to restore the file:") + kLineEnd + path +
                                 QStringLiteral(" ?"));
        };
        QString error;
        // A file that is no backup is refused before the image is touched.
        if (!service.restore(path, false, &error)) {
            EventLog::log(QStringLiteral("Errore: Ripristino - ") + error);
            context().showError(error);
        }
    });
}

void BackupPage::btResetClick() {
    if (running_ || context().lineBusy())
        return;
    if (!context().ask(tr_("Are you sure to reset the instrument?")))
        return;
    QInputDialog box(this);
    box.setObjectName(QStringLiteral("InputPassword"));
    box.setWindowTitle(tr_("Input Password"));
    box.setLabelText(tr_("Password"));
    box.setTextEchoMode(QLineEdit::Password);
    box.setTextValue(QString());
    if (box.exec() != QDialog::Accepted)
        return;
    const QString typed = box.textValue();
    if (typed.isEmpty())
        return;
    context().endRunningTests();
    const std::unique_ptr<BackupService> service = makeService_();
    // A wrong number does nothing and says nothing; only text that is no
    // number at all is told (the service has logged it).
    if (service->factoryReset(typed) == BackupService::ResetResult::NotANumber)
        context().showError(tr_("Invalid password!"));
}

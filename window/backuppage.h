#pragma once

#include <QFileDialog>
#include <functional>
#include <memory>

#include "window/page.h"

class BackupService;

namespace Ui {
class BackupPage;
}

// Page 9, "Backup": the parameter set saved to a ".mem" file and sent back
// from one, with the progress bar Barg, and the group GB_Reset with the
// password-guarded factory reset. The sequences are the services layer's,
// the same the command line runs; the page asks the questions around them.
class BackupPage : public Page {
    Q_OBJECT
public:
    // The sequences run on the session, which the page never sees: the
    // window hands it the service to use.
    using ServiceMaker = std::function<std::unique_ptr<BackupService>()>;
    BackupPage(PageContext& context, ServiceMaker makeService, QWidget* parent = nullptr);
    ~BackupPage() override;

    int number() const override { return 9; }

    void BtBackupClick();
    void btRestoreClick();
    void btResetClick();

    // True while a backup or a restore runs.
    bool transferRunning() const { return running_; }

private:
    // Save1 or Open1 in fdati.directory with an empty file name; the
    // transmit thread holds off while it is open. Empty when cancelled.
    QString chooseFile(QFileDialog::AcceptMode mode);
    // The folder and the path of a chosen file are kept.
    void keepChoice(const QString& path);
    // Every backup and every restore starts here, once the file is chosen
    // and the questions before the transfer are answered: anything that must
    // end before the instrument is read or written belongs at its start.
    void runTransfer(const std::function<void(BackupService&)>& transfer);
    void showProgress(int position, int maximum);

    Ui::BackupPage* ui;
    bool running_ = false;
    ServiceMaker makeService_;
};

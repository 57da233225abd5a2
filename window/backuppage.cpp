#include "window/backuppage.h"

#include "ui_backuppage.h"

BackupPage::BackupPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::BackupPage) {
    ui->setupUi(this);
    claimControls();
}

BackupPage::~BackupPage() {
    delete ui;
}

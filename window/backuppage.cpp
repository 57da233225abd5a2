#include "window/backuppage.h"

#include "ui_backuppage.h"

BackupPage::BackupPage(QWidget* parent) : Page(parent), ui(new Ui::BackupPage) {
    ui->setupUi(this);
}

BackupPage::~BackupPage() {
    delete ui;
}

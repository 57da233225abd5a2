#include "window/loggerpage.h"

#include "ui_loggerpage.h"

LoggerPage::LoggerPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::LoggerPage) {
    ui->setupUi(this);
    claimControls();
}

LoggerPage::~LoggerPage() {
    delete ui;
}

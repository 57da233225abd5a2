#include "window/loggerpage.h"

#include "ui_loggerpage.h"

LoggerPage::LoggerPage(QWidget* parent) : Page(parent), ui(new Ui::LoggerPage) {
    ui->setupUi(this);
}

LoggerPage::~LoggerPage() {
    delete ui;
}

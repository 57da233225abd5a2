#include "window/functionspage.h"

#include "ui_functionspage.h"

FunctionsPage::FunctionsPage(QWidget* parent) : Page(parent), ui(new Ui::FunctionsPage) {
    ui->setupUi(this);
}

FunctionsPage::~FunctionsPage() {
    delete ui;
}

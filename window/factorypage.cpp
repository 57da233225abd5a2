#include "window/factorypage.h"

#include "ui_factorypage.h"

FactoryPage::FactoryPage(QWidget* parent) : Page(parent), ui(new Ui::FactoryPage) {
    ui->setupUi(this);
}

FactoryPage::~FactoryPage() {
    delete ui;
}

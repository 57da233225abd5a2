#include "window/factorypage.h"

#include "ui_factorypage.h"

FactoryPage::FactoryPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::FactoryPage) {
    ui->setupUi(this);
    claimControls();
}

FactoryPage::~FactoryPage() {
    delete ui;
}

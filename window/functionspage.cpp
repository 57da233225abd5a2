#include "window/functionspage.h"

#include "ui_functionspage.h"

FunctionsPage::FunctionsPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::FunctionsPage) {
    ui->setupUi(this);
    claimControls();
}

FunctionsPage::~FunctionsPage() {
    delete ui;
}

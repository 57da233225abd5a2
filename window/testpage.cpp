#include "window/testpage.h"

#include "ui_testpage.h"

TestPage::TestPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::TestPage) {
    ui->setupUi(this);
    claimControls();
}

TestPage::~TestPage() {
    delete ui;
}

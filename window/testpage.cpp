#include "window/testpage.h"

#include "ui_testpage.h"

TestPage::TestPage(QWidget* parent) : Page(parent), ui(new Ui::TestPage) {
    ui->setupUi(this);
}

TestPage::~TestPage() {
    delete ui;
}

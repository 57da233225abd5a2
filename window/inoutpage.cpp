#include "window/inoutpage.h"

#include "ui_inoutpage.h"

InOutPage::InOutPage(QWidget* parent) : Page(parent), ui(new Ui::InOutPage) {
    ui->setupUi(this);
}

InOutPage::~InOutPage() {
    delete ui;
}

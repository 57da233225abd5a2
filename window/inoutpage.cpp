#include "window/inoutpage.h"

#include "ui_inoutpage.h"

InOutPage::InOutPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::InOutPage) {
    ui->setupUi(this);
    claimControls();
}

InOutPage::~InOutPage() {
    delete ui;
}

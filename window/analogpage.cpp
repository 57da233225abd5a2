#include "window/analogpage.h"

#include "ui_analogpage.h"

AnalogPage::AnalogPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::AnalogPage) {
    ui->setupUi(this);
    claimControls();
    ui->Gbanacal->hide();
}

AnalogPage::~AnalogPage() {
    delete ui;
}

void AnalogPage::toggleCalibrationGroup() {
    ui->Gbanacal->setVisible(ui->Gbanacal->isHidden());
}

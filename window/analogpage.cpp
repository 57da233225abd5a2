#include "window/analogpage.h"

#include "ui_analogpage.h"

AnalogPage::AnalogPage(QWidget* parent) : Page(parent), ui(new Ui::AnalogPage) {
    ui->setupUi(this);
    ui->Gbanacal->hide();
}

AnalogPage::~AnalogPage() {
    delete ui;
}

void AnalogPage::toggleCalibrationGroup() {
    ui->Gbanacal->setVisible(ui->Gbanacal->isHidden());
}

#include "window/calibrationpage.h"

#include "ui_calibrationpage.h"

CalibrationPage::CalibrationPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::CalibrationPage) {
    ui->setupUi(this);
    claimControls();
}

CalibrationPage::~CalibrationPage() {
    delete ui;
}

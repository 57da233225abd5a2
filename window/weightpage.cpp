#include "window/weightpage.h"

#include "ui_weightpage.h"
#include "window/weightchart.h"

WeightPage::WeightPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::WeightPage) {
    ui->setupUi(this);
    claimControls();
    ui->Chart1->setSeriesName(QStringLiteral("Serie1"));
}

WeightPage::~WeightPage() {
    delete ui;
}

WeightChart* WeightPage::chart() const {
    return ui->Chart1;
}

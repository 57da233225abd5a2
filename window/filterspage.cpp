#include "window/filterspage.h"

#include "ui_filterspage.h"
#include "window/weightchart.h"

FiltersPage::FiltersPage(QWidget* parent) : Page(parent), ui(new Ui::FiltersPage) {
    ui->setupUi(this);
    ui->Chart3->setSeriesName(QStringLiteral("Serie2B"));
}

FiltersPage::~FiltersPage() {
    delete ui;
}

WeightChart* FiltersPage::chart() const {
    return ui->Chart3;
}

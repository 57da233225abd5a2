#include "window/filterspage.h"

#include "ui_filterspage.h"
#include "window/weightchart.h"

FiltersPage::FiltersPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::FiltersPage) {
    ui->setupUi(this);
    claimControls();
    ui->Chart3->setSeriesName(QStringLiteral("Serie2B"));
}

FiltersPage::~FiltersPage() {
    delete ui;
}

WeightChart* FiltersPage::chart() const {
    return ui->Chart3;
}

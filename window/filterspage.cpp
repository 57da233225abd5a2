#include "window/filterspage.h"

#include <QSignalBlocker>
#include <algorithm>

#include "base/texts.h"
#include "device/numberformat.h"
#include "session/pagecontext.h"
#include "ui_filterspage.h"
#include "window/fieldbinder.h"
#include "window/weightchart.h"

FiltersPage::FiltersPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::FiltersPage), binder_(new FieldBinder(context, this)) {
    ui->setupUi(this);
    claimControls();
    ui->Chart3->setSeriesName(QStringLiteral("Serie2B"));
    ui->Chart3->addSwitchedOffSeries(QStringLiteral("Serie2A"));
    connect(ui->Chart3, &WeightChart::redrawn, this, &FiltersPage::showSpread);

    const struct {
        QComboBox* box;
        int role;
    } combos[] = {{ui->CbFilter, 15}, {ui->CBpeak, 14}, {ui->CBAll, 42}};
    for (const auto& c : combos) {
        loadCombo(c.box);
        connect(c.box, &QComboBox::currentIndexChanged, this,
                [this, box = c.box, role = c.role] { comboChanged(box, role); });
    }
    // Program 12 has no "0 ALL": the label follows the box.
    ui->lball->setVisible(context.control(QStringLiteral("lball")).visible);
    // Estab, EAutozero, Eztrack, EZeroBand.
    binder_->bind(this);
}

FiltersPage::~FiltersPage() {
    delete ui;
}

WeightChart* FiltersPage::chart() const {
    return ui->Chart3;
}

void FiltersPage::comboChanged(QComboBox* box, int role) {
    const int index = box->currentIndex();
    if (index < 0)
        return;
    context().userChanged(ControlUpdate::setIndex(box->objectName(), index));
    context().writeParameter(role, QString::number(index));
}

void FiltersPage::showSpread() {
    const QList<QPointF>& pts = ui->Chart3->points();
    if (pts.isEmpty()) {
        ui->LbMedie->clear();
        return;
    }
    double sum = 0.0;
    double lo = pts.first().y();
    double hi = lo;
    for (const QPointF& p : pts) {
        sum += p.y();
        lo = std::min(lo, p.y());
        hi = std::max(hi, p.y());
    }
    // One decimal more than the weight, so the filter's smoothing shows.
    const int decimals = std::min(context().display().decimals + 1, 4);
    ui->LbMedie->setText(tr_("Average") + QStringLiteral(": ") +
                         formatFixed(sum / static_cast<double>(pts.size()), decimals) +
                         QStringLiteral("    ") + tr_("Spread") + QStringLiteral(": ") +
                         formatFixed(hi - lo, decimals));
}

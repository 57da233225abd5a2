#include "window/analogpage.h"

#include <QStyle>

#include "base/texts.h"
#include "device/comboitems.h"
#include "device/numberformat.h"
#include "session/pagecontext.h"
#include "ui_analogpage.h"
#include "window/analogregulation.h"
#include "window/fieldbinder.h"

namespace {

constexpr int kModeRole = 37;
constexpr int kRangeRole = 38;
constexpr int kZeroRegulationRole = 39;
constexpr int kFullScaleRegulationRole = 40;

}  // namespace

AnalogPage::AnalogPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::AnalogPage) {
    ui->setupUi(this);
    claimControls();
    ui->Gbanacal->hide();

    for (QComboBox* box : {ui->CBMode, ui->CBRange}) {
        box->addItems(ComboItems::items(box->objectName()));
        box->setCurrentIndex(-1);
    }
    connect(ui->CBMode, &QComboBox::activated, this, &AnalogPage::CBModeChange);
    connect(ui->CBRange, &QComboBox::activated, this, &AnalogPage::CBRangeChange);

    // From left to right: fast down, down, up, fast up.
    const QIcon icons[] = {style()->standardIcon(QStyle::SP_MediaSeekBackward),
                           style()->standardIcon(QStyle::SP_ArrowLeft),
                           style()->standardIcon(QStyle::SP_ArrowRight),
                           style()->standardIcon(QStyle::SP_MediaSeekForward)};
    const QList<QList<QPushButton*>> rows = {
        {ui->btanaOMM, ui->btanaOM, ui->btanaOP, ui->btanaOPP},
        {ui->btanaFSMM, ui->btanaFSM, ui->btanaFSP, ui->btanaFSPP}};
    // The factory page's regulation handlers, on this page's context.
    auto* regulation = new AnalogRegulation(context, this);
    for (int r = 0; r < rows.size(); ++r)
        for (int k = 0; k < rows[r].size(); ++k) {
            rows[r][k]->setIcon(icons[k]);
            regulation->attach(rows[r][k], AnalogRegulation::Button(r * 4 + k));
        }
    // This page's "Exit" is the factory page's: the tools close everywhere
    // and a regulation or test ends.
    connect(ui->btExitanacal, &QPushButton::clicked, regulation, &AnalogRegulation::exit);
    // An "Exit" of the analog tools hides the group too.
    connect(&context, &PageContext::analogToolsClosed, ui->Gbanacal, &QWidget::hide);
    QFont sign = font();
    sign.setPixelSize(20);
    for (QLabel* l : {ui->lbanaoffM, ui->lbanaoffP, ui->lbanaFSregM, ui->lbanaFSregP})
        l->setFont(sign);

    binder_ = new FieldBinder(context, this);
    binder_->bind(this);
}

AnalogPage::~AnalogPage() {
    delete ui;
}

void AnalogPage::toggleCalibrationGroup() {
    ui->Gbanacal->setVisible(ui->Gbanacal->isHidden());
}

void AnalogPage::CBModeChange() {
    const int index = ui->CBMode->currentIndex();
    if (index < 0)
        return;
    context().userChanged(ControlUpdate::setIndex(QStringLiteral("CBMode"), index));
    context().writeParameter(kModeRole, QString::number(index));
}

void AnalogPage::CBRangeChange() {
    const int index = ui->CBRange->currentIndex();
    if (index < 0)
        return;
    const std::optional<qint64> inUse = parseInteger(context().valueOfRole(kRangeRole));
    if (inUse && *inUse == index)
        return;
    if (context().ask(tr_("Warning! analogic calibration will be lost, continue?"))) {
        context().userChanged(ControlUpdate::setIndex(QStringLiteral("CBRange"), index));
        context().writeParameter(kRangeRole, QString::number(index));
        // A new range starts the regulation afresh in the instrument.
        context().readBack(kZeroRegulationRole);
        context().readBack(kFullScaleRegulationRole);
        return;
    }
    // Back to the range in use at once, and to what the instrument holds
    // once it answers.
    if (inUse)
        context().publish(ControlUpdate::setIndex(QStringLiteral("CBRange"), int(*inUse)));
    context().readBack(kRangeRole);
}

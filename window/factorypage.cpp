#include "window/factorypage.h"

#include <QStyle>

#include "session/pagecontext.h"
#include "ui_factorypage.h"
#include "window/analogregulation.h"

namespace {
constexpr quint8 kZeroCalibration = 0x14;  // 0 mV/V at the input
constexpr quint8 kSpanCalibration = 0x15;  // 2 mV/V at the input
constexpr quint8 kResetCommand = 0x18;
constexpr int kResetRole = 7;
constexpr int kResetCode = 30817;
}  // namespace

FactoryPage::FactoryPage(PageContext& context, QWidget* parent)
    : Page(context, parent),
      ui(new Ui::FactoryPage),
      regulation_(new AnalogRegulation(context, this)) {
    ui->setupUi(this);
    claimControls();

    using R = AnalogRegulation;
    const struct {
        QToolButton* button;
        R::Button which;
        QStyle::StandardPixmap picture;
        const char* tip;
    } steps[] = {
        {ui->btoffDL, R::OffsetFastDown, QStyle::SP_MediaSeekBackward, "-100 (Shift: -900)"},
        {ui->btoffL, R::OffsetDown, QStyle::SP_ArrowLeft, "-3"},
        {ui->btoffR, R::OffsetUp, QStyle::SP_ArrowRight, "+3"},
        {ui->btoffDR, R::OffsetFastUp, QStyle::SP_MediaSeekForward, "+100 (Shift: +900)"},
        {ui->btFSDL, R::FullScaleFastDown, QStyle::SP_MediaSeekBackward, "-100 (Shift: -900)"},
        {ui->btFSL, R::FullScaleDown, QStyle::SP_ArrowLeft, "-3"},
        {ui->btFSR, R::FullScaleUp, QStyle::SP_ArrowRight, "+3"},
        {ui->btFSDR, R::FullScaleFastUp, QStyle::SP_MediaSeekForward, "+100 (Shift: +900)"},
    };
    for (const auto& s : steps) {
        s.button->setIcon(style()->standardIcon(s.picture));
        s.button->setIconSize(QSize(24, 24));
        s.button->setToolTip(QString::fromLatin1(s.tip));
        regulation_->attach(s.button, s.which);
    }
    regulation_->attachTrackBar(ui->TBAnalog, ui->lbTBAnalog);

    connect(ui->btZero, &QPushButton::clicked, this, &FactoryPage::btZeroClick);
    connect(ui->btFS, &QPushButton::clicked, this, &FactoryPage::btFSClick);
    connect(ui->btresall, &QPushButton::clicked, this, &FactoryPage::btresallClick);
    connect(ui->btRegana, &QPushButton::clicked, this, &FactoryPage::btReganaClick);
    connect(ui->bttestana, &QPushButton::clicked, this, &FactoryPage::bttestanaClick);
    connect(ui->btExitana, &QPushButton::clicked, regulation_, &AnalogRegulation::exit);
    connect(&context, &PageContext::analogToolsClosed, this, &FactoryPage::closeTools);
    closeTools();
}

FactoryPage::~FactoryPage() {
    delete ui;
}

void FactoryPage::btZeroClick() {
    context().sendCommand(kZeroCalibration);
}

void FactoryPage::btFSClick() {
    context().sendCommand(kSpanCalibration);
}

void FactoryPage::btresallClick() {
    // No question and no password: the page has its own access.
    if (context().lineBusy())
        return;
    if (context().forceWrite(kResetRole, QString::number(kResetCode)).isAnswered())
        context().sendCommand(kResetCommand);
}

void FactoryPage::btReganaClick() {
    ui->btRegana->hide();
    ui->bttestana->hide();
    ui->PanRegana->show();
    ui->btExitana->show();
}

void FactoryPage::bttestanaClick() {
    ui->btRegana->hide();
    ui->bttestana->hide();
    ui->PanTBAnalog->show();
    ui->btExitana->show();
}

void FactoryPage::closeTools() {
    ui->btRegana->show();
    ui->bttestana->show();
    ui->PanRegana->hide();
    ui->btExitana->hide();
    ui->PanTBAnalog->hide();
}

#include "window/homepage.h"

#include <QRegularExpressionValidator>
#include <QSignalBlocker>

#include "base/texts.h"
#include "session/fieldbindings.h"
#include "session/pagecontext.h"
#include "ui_homepage.h"
#include "window/fieldbinder.h"
#include "window/pictures.h"

HomePage::HomePage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::HomePage) {
    ui->setupUi(this);
    claimControls();
    ui->img_USBA->setPixmap(Pictures::get(QStringLiteral("usb"), QSize(80, 80)));
    ui->img_xA->setPixmap(Pictures::get(QStringLiteral("cross"), QSize(80, 80)));
    QFont big = font();
    big.setPixelSize(36);
    big.setBold(true);
    ui->lb_offlineA->setFont(big);
    ui->lb_offlineA->setStyleSheet(QStringLiteral("color: #d01818;"));
    ui->Pan_inout->setAutoFillBackground(true);
    ui->Pan_infoA->setAutoFillBackground(true);
    ui->Pan_address->setAutoFillBackground(true);

    ui->rg2->setItems({tr_("Gross"), tr_("Net"), tr_("Peak")});
    connect(ui->rg2, &RadioGroup::clicked, this, [this](int) { rg2Click(); });
    connect(ui->btTara, &QPushButton::clicked, this, &HomePage::btTaraClick);
    connect(ui->BtFirmware, &QPushButton::clicked, this, &HomePage::firmwareClicked);

    // Digits only; three places, so every address up to 127 can be typed.
    ui->Eaddress->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this));
    ui->UpDown1->setBuddy(ui->Eaddress);
    ui->UpDown1->setRange(0, 100);
    showOfflineMarks(true);
}

HomePage::~HomePage() {
    delete ui;
}

int HomePage::viewIndex() const {
    return ui->rg2->itemIndex();
}
QString HomePage::viewText() const {
    return ui->rg2->itemText(ui->rg2->itemIndex());
}

void HomePage::selectView(int index) {
    ui->rg2->setItemIndex(index);
    rg2Click();
}

void HomePage::rg2Click() {
    const int index = ui->rg2->itemIndex();
    static const char* const pictures[] = {"0.png", "1.png", "2.png"};
    static const char* const captions[] = {"Zero", "Tare", "Reset"};
    if (index < 0 || index > 2)
        return;
    ui->btTara->setIcon(Pictures::icon(QString::fromLatin1(pictures[index]), QSize(36, 30)));
    ui->btTara->setText(tr_(captions[index]));
    context().setView(index, ui->rg2->itemText(index));
}

void HomePage::languageChanged() {
    const int index = ui->rg2->itemIndex();
    ui->rg2->setItems({tr_("Gross"), tr_("Net"), tr_("Peak")});
    if (index >= 0) {
        ui->rg2->setItemIndex(index);
        rg2Click();
    }
}

void HomePage::btTaraClick() {
    const int index = ui->rg2->itemIndex();
    if (index >= 0)
        context().sendCommand(static_cast<quint8>(index + 1));  // 1 Gross, 2 Net, 3 Peak
}

void HomePage::showAddress(const QString& text) {
    const QSignalBlocker quiet(ui->Eaddress);
    ui->Eaddress->setText(text);
}

void HomePage::settingsLoaded() {
    const QString address = context().storedAddress();
    showAddress(address);
    context().setWorkingAddress(address.toInt(), address);
}

void HomePage::windowShown() {
    if (!binder_) {
        binder_ = new FieldBinder(context(), this);
        binder_->bind(this, [this](const FieldBinding&, const QString& value) {
            if (ui->Eaddress->text() != value)
                showAddress(value);  // 05 becomes 5
            context().setWorkingAddress(value.toInt(), value);
        });
    }
    showAddress(QString());
    // Setting the text now runs the address check, as typing it would.
    ui->Eaddress->setText(context().storedAddress());
    selectView(1);  // Net
}

QString HomePage::addressText() const {
    return ui->Eaddress->text();
}

void HomePage::showOfflineMarks(bool shown) {
    ui->lb_offlineA->setVisible(shown);
    ui->img_USBA->setVisible(shown);
    ui->img_xA->setVisible(shown);
}

void HomePage::toggleCross() {
    ui->img_xA->setVisible(ui->img_xA->isHidden());
}

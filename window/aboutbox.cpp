#include "window/aboutbox.h"

#include "base/texts.h"
#include "ui_about.h"
#include "window/pictures.h"
#include "window/localization.h"
#include "window/localizeradapter.h"

TFAbout::TFAbout(QWidget* owner) : QDialog(owner), ui(new Ui::TFAbout) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(420, 211);
    setWindowTitle(tr_("About.."));
    ui->Image1->setPixmap(Pictures::get(QStringLiteral("page1"), QSize(88, 88)));
    QFont name = font();
    name.setPixelSize(30);
    name.setBold(true);
    ui->lbname->setFont(name);
    ui->lbname->setStyleSheet(QStringLiteral("color: #7a1fa2;"));
    ui->lbversion->setText(tr_("Version") + QLatin1Char(' ') + QStringLiteral(VELMORA_VERSION));
    LocalizerAdapter::markRunTime(ui->lbversion);
    ui->lbdescription->setText(tr_("Configurator for load-cell weighing instruments"));
    ui->btChiudi->setText(tr_("&Chiudi"));
    connect(ui->btChiudi, &QPushButton::clicked, this, &QDialog::close);
    Localization::windowBuilt(this);
}

TFAbout::~TFAbout() {
    delete ui;
}

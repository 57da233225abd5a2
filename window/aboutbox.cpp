#include "window/aboutbox.h"

#include <QDir>
#include <QLabel>

#include "base/programfolder.h"
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

    // Which folders this run uses, below the rest: where the settings and
    // logs are is the first thing asked about an installed program.
    QString folders;
    for (const auto& [what, folder] : ProgramFolder::foldersInUse())
        folders += (folders.isEmpty() ? QString() : QStringLiteral("\n")) + what +
                   QStringLiteral(": ") + QDir::toNativeSeparators(folder);
    auto* lbfolders = new QLabel(folders, this);
    lbfolders->setObjectName(QStringLiteral("lbfolders"));
    lbfolders->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbfolders->setWordWrap(true);
    const int top = height();
    lbfolders->setGeometry(20, top, width() - 40, lbfolders->heightForWidth(width() - 40));
    setFixedSize(width(), top + lbfolders->height() + 14);
    LocalizerAdapter::markRunTime(lbfolders);
    Localization::windowBuilt(this);
}

TFAbout::~TFAbout() {
    delete ui;
}

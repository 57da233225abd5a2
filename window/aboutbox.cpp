#include "window/aboutbox.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "base/programfolder.h"
#include "base/texts.h"
#include "ui_about.h"
#include "window/localization.h"
#include "window/localizeradapter.h"
#include "window/pictures.h"

namespace {
const QString kLicenceLink = QStringLiteral("ofl");
}

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
    QFont small = font();
    small.setPixelSize(11);
    small.setBold(false);
    ui->lblicense->setFont(small);
    ui->lbfonts->setFont(small);
    ui->lblicense->setText(
        tr_("© 2026 Velmora. All rights reserved. Licensed for use with "
            "Velmora weighing instruments."));
    ui->lbfonts->setTextFormat(Qt::RichText);
    ui->lbfonts->setText(
        tr_("Weight digits: DSEG7 Classic Bold, © 2017-2020 keshikan, under the %1.")
            .arg(QStringLiteral("<a href=\"%1\">%2</a>")
                     .arg(kLicenceLink, tr_("SIL Open Font License 1.1").toHtmlEscaped())));
    connect(ui->lbfonts, &QLabel::linkActivated, this, [this](const QString& link) {
        if (link == kLicenceLink)
            showFontLicence();
    });
    LocalizerAdapter::markRunTime(ui->lbversion);
    LocalizerAdapter::markRunTime(ui->lblicense);
    LocalizerAdapter::markRunTime(ui->lbfonts);
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

QString TFAbout::fontLicenceText() {
    QFile f(QStringLiteral(":/fonts/OFL.txt"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void TFAbout::showFontLicence() {
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("FontLicence"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr_("SIL Open Font License 1.1"));
    dialog->resize(560, 420);
    auto* text = new QPlainTextEdit(fontLicenceText(), dialog);
    text->setReadOnly(true);
    QFont plain = font();
    plain.setBold(false);
    text->setFont(plain);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog->show();
}

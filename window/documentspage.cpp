#include "window/documentspage.h"

#include <QEvent>

#include "base/texts.h"
#include "device/decoding.h"
#include "services/documents.h"
#include "session/pagecontext.h"
#include "ui_documentspage.h"
#include "window/desktopopener.h"
#include "window/pictures.h"

DocumentsPage::DocumentsPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::DocumentsPage) {
    ui->setupUi(this);
    claimControls();
    const QSize iconSize(28, 28);
    ui->bt_allmanuals->setIcon(Pictures::icon(QStringLiteral("page10"), iconSize));
    ui->bt_allmanuals->setIconSize(iconSize);
    ui->bt_GSD->setIcon(Pictures::icon(QStringLiteral("page5"), iconSize));
    ui->bt_GSD->setIconSize(iconSize);
    QFont plain = ui->lbmanuals->font();
    plain.setBold(false);
    for (QLabel* label : {ui->lbmanuals, ui->lbGSD, ui->lbopenwith})
        label->setFont(plain);
    ui->lbopenwith->setStyleSheet(QStringLiteral("color: #404040;"));
    // The description goes with its button, whoever hides it.
    ui->bt_GSD->installEventFilter(this);

    connect(ui->bt_GSD, &QPushButton::clicked, this, &DocumentsPage::bt_GSDClick);
    connect(ui->bt_allmanuals, &QPushButton::clicked, this, &DocumentsPage::bt_allmanualsClick);
    // The read-out that ends a connection shows the instrument's protocol.
    connect(&context, &PageContext::onlineChanged, this, [this] { showFieldbusFiles(); });
    // No protocol is known before the instrument names one. The window does
    // not take updates yet: the mirror and the button are set here.
    ui->bt_GSD->hide();
    context.userChanged(ControlUpdate::setVisible(QStringLiteral("bt_GSD"), false));
}

DocumentsPage::~DocumentsPage() {
    delete ui;
}

void DocumentsPage::bt_GSDClick() {
    openFolder(QString::fromLatin1(Documents::kDriverFolder));
}

void DocumentsPage::bt_allmanualsClick() {
    openFolder(QString::fromLatin1(Documents::kManualFolder));
}

void DocumentsPage::openFolder(const QString& relative) {
    const QString folder = Documents::existingFolder(relative);
    if (folder.isEmpty())
        context().showError(tr_("File not Found!"));
    else
        DesktopOpener::open(folder);
}

void DocumentsPage::showFieldbusFiles() {
    const bool profibus = context().control(QStringLiteral("CBProt2")).index == Decoder::Profibus;
    context().publish(ControlUpdate::setVisible(QStringLiteral("bt_GSD"), profibus));
}

void DocumentsPage::showEvent(QShowEvent* event) {
    showFieldbusFiles();
    Page::showEvent(event);
}

bool DocumentsPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->bt_GSD &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        ui->lbGSD->setVisible(event->type() == QEvent::ShowToParent);
    return Page::eventFilter(watched, event);
}

#include "window/searchdialog.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>

#include "base/texts.h"
#include "session/searchcontext.h"
#include "ui_searchdialog.h"
#include "window/localization.h"
#include "window/localizeradapter.h"
#include "window/networkportdialog.h"

namespace {

const QString kNoPort = QStringLiteral("NO");
const QString kCaptionPrefix = QStringLiteral("CH: ");
// The port list's "Network…" entry: not a port name (it has no scheme and
// cannot be a device path).
const QString kNetworkItem = QStringLiteral("\x01network");

// The instrument as a result picture: a housing with its display showing
// the address it answered at.
QPixmap instrumentPicture(const QSize& size, int address) {
    const qreal dpr = 2.0;
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(4, 8, size.width() - 8, size.height() - 16);
    QLinearGradient body(r.topLeft(), r.bottomLeft());
    body.setColorAt(0, QColor(236, 238, 242));
    body.setColorAt(1, QColor(176, 182, 192));
    p.setPen(QPen(QColor(90, 96, 108), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(r, 8, 8);
    const QRectF display(r.left() + 10, r.top() + 12, r.width() - 20, r.height() * 0.42);
    p.setPen(QPen(QColor(30, 40, 30), 1));
    p.setBrush(QColor(24, 44, 28));
    p.drawRoundedRect(display, 3, 3);
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setBold(true);
    f.setPixelSize(static_cast<int>(display.height() * 0.62));
    p.setFont(f);
    p.setPen(QColor(110, 255, 120));
    p.drawText(display, Qt::AlignCenter, QString::number(address).rightJustified(3, QLatin1Char(' ')));
    // Keys under the display.
    p.setPen(QPen(QColor(70, 76, 88), 1));
    p.setBrush(QColor(60, 110, 190));
    const qreal keyW = (r.width() - 20 - 3 * 6) / 4.0;
    for (int i = 0; i < 4; ++i)
        p.drawRoundedRect(QRectF(display.left() + i * (keyW + 6), display.bottom() + 12, keyW, 12), 3, 3);
    return pm;
}

}  // namespace

TFSearch::TFSearch(SearchContext& context, QWidget* parent)
    : QDialog(parent), ui(new Ui::TFSearch), ctx_(context) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("FSearch"));
    setWindowTitle(tr_("Search"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->lbPorta->setText(tr_("Port:"));
    ui->CBBaud->addItems(SearchContext::speedItems());
    ui->CBBaud->setVisible(false);
    ui->PBsearch->setVisible(false);
    ui->DAT->setVisible(false);
    ui->btsearch->setText(tr_("SEARCH"));

    connect(ui->btsearch, &QPushButton::clicked, this, &TFSearch::btsearchClick);
    connect(ui->CBPorta, &QComboBox::currentIndexChanged, this, &TFSearch::CBPortaChange);
    connect(ui->CBBaud, &QComboBox::currentIndexChanged, this, &TFSearch::CBPortaChange);
    connect(&ctx_, &SearchContext::portListChanged, this, &TFSearch::fillPortList);
    connect(&ctx_, &SearchContext::probingAddress, ui->PBsearch, &QProgressBar::setValue);
    connect(&ctx_, &SearchContext::found, this, [this](int number, int address) {
        trovati_ = number;
        add_panel(number, address);
    });
    ctx_.cercacom();
    // The port list and its descriptions are the machine's.
    LocalizerAdapter::markRunTime(ui->CBPorta);
    Localization::windowBuilt(this);
}

TFSearch::~TFSearch() {
    delete ui;
}

void TFSearch::showSearch(bool modal) {
    ctx_.cercacom();
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    show();
    raise();
    activateWindow();
}

void TFSearch::fillPortList() {
    const QSignalBlocker quiet(ui->CBPorta);
    const QSignalBlocker quietBaud(ui->CBBaud);
    ui->CBPorta->clear();
    const QString porta = ctx_.porta();
    int selected = -1;
    int noItem = -1;
    for (const SearchContext::PortItem& item : ctx_.portItems()) {
        ui->CBPorta->addItem(item.text, item.path);
        const int i = ui->CBPorta->count() - 1;
        ui->CBPorta->setItemData(i, item.text, Qt::ToolTipRole);
        if (item.path.compare(porta, Qt::CaseInsensitive) == 0)
            selected = i;
        if (item.path == kNoPort)
            noItem = i;
    }
    // Last, the way to a network serial server not in the list yet.
    ui->CBPorta->addItem(tr_("Network…"), kNetworkItem);
    ui->CBPorta->setCurrentIndex(selected >= 0 ? selected : noItem);
    ui->CBPorta->setToolTip(ui->CBPorta->currentText());
    ui->CBBaud->setCurrentIndex(ui->CBBaud->findText(ctx_.velocita().toUpper()));
}

void TFSearch::CBPortaChange() {
    if (running_)
        return;
    ui->btsearch->setEnabled(false);
    const QString port = ui->CBPorta->currentIndex() < 0
                             ? kNoPort
                             : ui->CBPorta->currentData().toString();
    if (port == kNetworkItem) {
        askNetworkPort();
        return;
    }
    // A speed that is not in the list stays as it is.
    const QString speed =
        ui->CBBaud->currentIndex() < 0 ? ctx_.velocita() : ui->CBBaud->currentText();
    ui->CBPorta->setToolTip(ui->CBPorta->currentText());
    ctx_.choosePort(port, speed);
    ui->btsearch->setEnabled(true);
}

void TFSearch::askNetworkPort() {
    // Asked without blocking; the list shows the port in use meanwhile.
    fillPortList();
    ui->btsearch->setEnabled(true);
    auto* dialog = new NetworkPortDialog(ctx_.porta(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const QString speed =
            ui->CBBaud->currentIndex() < 0 ? ctx_.velocita() : ui->CBBaud->currentText();
        ctx_.choosePort(dialog->address(), speed);
        fillPortList();
    });
    dialog->open();
}

void TFSearch::btsearchClick() {
    if (running_) {
        ctx_.stopSearch();
        return;
    }
    if (!ctx_.portChosen())
        return;
    Delete_DAT();
    running_ = true;
    trovati_ = 0;
    ui->btsearch->setText(tr_("STOP"));
    // The line belongs to the run: no other port or speed until it ends.
    ui->CBPorta->setEnabled(false);
    ui->DAT->setVisible(false);
    ui->PBsearch->setRange(0, 127);
    ui->PBsearch->setValue(0);
    ui->PBsearch->setVisible(true);
    const QString speed =
        ui->CBBaud->currentIndex() < 0 ? ctx_.velocita() : ui->CBBaud->currentText();
    ctx_.runSearch(speed);
    ui->PBsearch->setVisible(false);
    ui->btsearch->setText(tr_("Search"));
    ui->CBPorta->setEnabled(true);
    running_ = false;
    for (QFrame* panel : std::as_const(panels_))
        if (auto* b = panel->findChild<QPushButton*>())
            b->setEnabled(true);
}

void TFSearch::add_panel(int numero, int indirizzo_trovato) {
    const QString digits = QStringLiteral("%1").arg(numero, 2, 10, QLatin1Char('0'));
    if (QFrame* old = panels_.take(numero))
        delete old;
    auto* panel = new QFrame(ui->Fpanel);
    panel->setObjectName(QStringLiteral("DAT") + digits);
    panel->setFrameShape(ui->DAT->frameShape());
    panel->setFrameShadow(ui->DAT->frameShadow());
    panel->setMinimumSize(ui->DAT->minimumSize());
    panel->setMaximumSize(ui->DAT->maximumSize());
    panel->setStyleSheet(ui->DAT->styleSheet());
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(ui->DATLayout->contentsMargins());
    layout->setSpacing(ui->DATLayout->spacing());

    auto* image = new QLabel(panel);
    image->setObjectName(QStringLiteral("Image") + digits);
    image->setMinimumSize(ui->Image->minimumSize());
    image->setAlignment(ui->Image->alignment());
    image->setPixmap(instrumentPicture(ui->Image->minimumSize(), indirizzo_trovato));
    layout->addWidget(image);

    auto* button = new QPushButton(panel);
    button->setObjectName(QStringLiteral("Btsel") + digits);
    button->setMinimumSize(ui->Btsel->minimumSize());
    button->setAutoDefault(false);
    button->setText(kCaptionPrefix + QString::number(indirizzo_trovato));
    // Choosing waits for the end of the run that is still walking the line.
    button->setEnabled(!running_);
    connect(button, &QPushButton::clicked, this, &TFSearch::BtselClick);
    layout->addWidget(button);

    // In number order, before the closing spacer.
    int at = 0;
    for (auto it = panels_.cbegin(); it != panels_.cend() && it.key() < numero; ++it)
        at = ui->FpanelLayout->indexOf(it.value()) + 1;
    if (at == 0)
        at = ui->FpanelLayout->indexOf(ui->DAT) + 1;
    ui->FpanelLayout->insertWidget(at, panel);
    panels_.insert(numero, panel);
    panel->setVisible(true);
    ui->ScrollBox1->ensureWidgetVisible(panel);
}

void TFSearch::Delete_DAT() {
    // Every panel, however many a run made.
    for (QFrame* panel : std::as_const(panels_)) {
        ui->FpanelLayout->removeWidget(panel);
        delete panel;
    }
    panels_.clear();
}

void TFSearch::BtselClick() {
    auto* button = qobject_cast<QPushButton*>(sender());
    if (!button || running_)
        return;
    const QString caption = button->text();
    bool ok = false;
    const int address = caption.startsWith(kCaptionPrefix)
                            ? caption.mid(kCaptionPrefix.size()).trimmed().toInt(&ok)
                            : 0;
    if (!ok || address < 1 || address > 127)
        return;
    ctx_.choose(address);
    scelto_ = true;
    close();
}

void TFSearch::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Restoring a minimised dialog is not a new opening.
    if (!event->spontaneous())
        FormShow();
}

void TFSearch::FormShow() {
    ui->btsearch->setEnabled(false);
    const int current = ctx_.dialogShowing();
    if (current > 0)
        add_panel(1, current);
    ctx_.setUpPort();
    ui->btsearch->setEnabled(true);
    scelto_ = false;
}

void TFSearch::closeEvent(QCloseEvent* event) {
    // Never destroyed: a close only hides the dialog, and not while a
    // probe holds the line.
    event->ignore();
    if (running_ || ctx_.probing())
        return;
    hide();
    Delete_DAT();
    ctx_.dialogHidden(scelto_);
}

void TFSearch::reject() {
    // Escape goes the way of the close box.
    close();
}

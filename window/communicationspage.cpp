#include "window/communicationspage.h"

#include <QEvent>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <array>
#include <optional>

#include "base/eventlog.h"
#include "base/texts.h"
#include "device/comboitems.h"
#include "session/fieldbindings.h"
#include "session/pagecontext.h"
#include "ui_communicationspage.h"
#include "window/fieldbinder.h"

namespace {

constexpr int kBaudRole = 28;
constexpr int kProtocolRole = 29;
constexpr int kFrameRole = 32;
constexpr int kFieldbusRole = 33;
constexpr int kFieldbusBaudRole = 35;
constexpr int kIpRole = 43;
constexpr int kSubnetRole = 47;

// Four whole numbers from 0 to 255 separated by "."; anything else is no
// address at all, so none of its numbers may reach the instrument.
std::optional<std::array<int, 4>> dottedNumbers(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> out{};
    for (int i = 0; i < 4; ++i) {
        const QString& p = parts[i];
        bool ok = false;
        const int n = p.toInt(&ok);
        if (p.isEmpty() || p.size() > 3 || !ok || n < 0 || n > 255 ||
            p.contains(QRegularExpression(QStringLiteral("[^0-9]"))))
            return std::nullopt;
        out[size_t(i)] = n;
    }
    return out;
}

}  // namespace

CommunicationsPage::CommunicationsPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::CommunicationsPage) {
    ui->setupUi(this);
    claimControls();

    for (QComboBox* box : {ui->CBProt1, ui->CBBaud1, ui->cbframe})
        box->addItems(ComboItems::items(box->objectName()));
    // Until the instrument names its fieldbus (role 33), every protocol.
    const QStringList protocols = ComboItems::fieldbusProtocols(true);
    ui->CBProt2->addItems(protocols);
    context.userChanged(ControlUpdate::setItems(QStringLiteral("CBProt2"), protocols));
    for (QComboBox* box : {ui->CBProt1, ui->CBBaud1, ui->cbframe, ui->CBProt2, ui->CBBaudField})
        box->setCurrentIndex(-1);

    // Digits only. The serial address starts at 1: 0 is the broadcast
    // address, at which no instrument answers.
    ui->Eaddcom->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("([1-9][0-9]{0,2})?")), this));
    ui->Echannel->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this));
    const auto dotted = QRegularExpression(QStringLiteral("[0-9.]{0,15}"));
    ui->MEIP->setValidator(new QRegularExpressionValidator(dotted, this));
    ui->MESNET->setValidator(new QRegularExpressionValidator(dotted, this));
    ui->MEIP->setPlaceholderText(QStringLiteral("0.0.0.0"));
    ui->MESNET->setPlaceholderText(QStringLiteral("0.0.0.0"));

    // The network controls are shown and hidden by protocol; their labels
    // go with the IP fields.
    ui->MEIP->installEventFilter(this);
    ui->MESNET->installEventFilter(this);
    for (QWidget* w :
         {static_cast<QWidget*>(ui->CBBaudField), static_cast<QWidget*>(ui->lbBaudField),
          static_cast<QWidget*>(ui->lbaddress2), static_cast<QWidget*>(ui->Echannel),
          static_cast<QWidget*>(ui->MEIP), static_cast<QWidget*>(ui->MESNET)})
        w->hide();

    connect(ui->CBProt1, &QComboBox::activated, this,
            [this] { writeIndex(ui->CBProt1, kProtocolRole); });
    connect(ui->CBBaud1, &QComboBox::activated, this,
            [this] { writeIndex(ui->CBBaud1, kBaudRole); });
    connect(ui->cbframe, &QComboBox::activated, this, &CommunicationsPage::cbframeChange);
    connect(ui->CBProt2, &QComboBox::activated, this, &CommunicationsPage::CBProt2Change);
    connect(ui->CBBaudField, &QComboBox::activated, this,
            [this] { writeIndex(ui->CBBaudField, kFieldbusBaudRole); });
    connect(ui->MEIP, &QLineEdit::editingFinished, this, [this] {
        if (ui->MEIP->isModified())
            writeDotted(ui->MEIP, kIpRole);
    });
    connect(ui->MESNET, &QLineEdit::editingFinished, this, [this] {
        if (ui->MESNET->isModified())
            writeDotted(ui->MESNET, kSubnetRole);
    });

    binder_ = new FieldBinder(context, this);
    binder_->setWritten([this](const FieldBinding& row, const QString& value, const Outcome& o) {
        if (row.field == QLatin1String("Eaddcom"))
            EaddcomWritten(value, o.isAnswered());
    });
    binder_->bind(this);
}

CommunicationsPage::~CommunicationsPage() {
    delete ui;
}

bool CommunicationsPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) {
        const bool shown = event->type() == QEvent::ShowToParent;
        if (watched == ui->MEIP)
            ui->lbMEIP->setVisible(shown);
        else if (watched == ui->MESNET)
            ui->lbMESNET->setVisible(shown);
    }
    return Page::eventFilter(watched, event);
}

void CommunicationsPage::writeIndex(QComboBox* box, int role) {
    const int index = box->currentIndex();
    if (index < 0)
        return;
    context().userChanged(ControlUpdate::setIndex(box->objectName(), index));
    context().writeParameter(role, QString::number(index));
}

void CommunicationsPage::cbframeChange() {
    writeIndex(ui->cbframe, kFrameRole);
    // The instrument may adjust the frame (Modbus needs eight data bits):
    // show what it took.
    context().readBack(kFrameRole);
}

void CommunicationsPage::CBProt2Change() {
    const int index = ui->CBProt2->currentIndex();
    if (index < 0)
        return;
    context().userChanged(ControlUpdate::setIndex(QStringLiteral("CBProt2"), index));
    context().writeParameter(kFieldbusRole, QString::number(index));
    update_fieldbus_panel();
}

void CommunicationsPage::update_fieldbus_panel() {
    // A refused write has put the instrument's own protocol back by now: the
    // bauds, the network controls, the fieldbus files button and the analog
    // page follow what the box shows.
    context().fieldbusProtocolChosen(ui->CBProt2->currentText());
}

void CommunicationsPage::EaddcomWritten(const QString& value, bool answered) {
    // Only an instrument that acknowledged the write answers at the new
    // address; otherwise the program keeps talking to the old one.
    if (answered)
        context().followInstrumentAddress(value.toInt());
}

QString CommunicationsPage::dottedOfRoles(int firstRole) {
    QStringList parts;
    for (int r = firstRole; r < firstRole + 4; ++r)
        parts << context().valueOfRole(r);
    // A number the instrument did not give stays blank between its dots, as
    // the read-out shows it; an address of which nothing is known is empty.
    if (std::all_of(parts.cbegin(), parts.cend(), [](const QString& p) { return p.isEmpty(); }))
        return QString();
    return parts.join(QLatin1Char('.'));
}

void CommunicationsPage::writeDotted(QLineEdit* field, int firstRole) {
    field->setModified(false);
    const QString text = field->text();
    const auto numbers = dottedNumbers(text);
    if (!numbers) {
        EventLog::log(QStringLiteral("Errore: indirizzo non valido(") + text + QLatin1Char(')'));
        context().showError(tr_("Invalid number!") + QLatin1String(" :") + text);
        context().publish(ControlUpdate::setText(field->objectName(), dottedOfRoles(firstRole)));
        return;
    }
    for (int i = 0; i < 4; ++i)
        context().writeParameter(firstRole + i, QString::number((*numbers)[size_t(i)]));
    // A number the instrument refused is back at its old value in the
    // table: show the address the instrument holds.
    context().publish(ControlUpdate::setText(field->objectName(), dottedOfRoles(firstRole)));
}

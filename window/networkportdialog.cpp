#include "window/networkportdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "base/texts.h"
#include "link/portaddress.h"

NetworkPortDialog::NetworkPortDialog(const QString& current, QWidget* parent)
    : QDialog(parent),
      host_(new QLineEdit(this)),
      port_(new QSpinBox(this)),
      kind_(new QComboBox(this)),
      error_(new QLabel(this)) {
    setObjectName(QStringLiteral("NetworkPortDialog"));
    setWindowTitle(tr_("Network port"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    host_->setObjectName(QStringLiteral("EdHost"));
    port_->setObjectName(QStringLiteral("SpPort"));
    kind_->setObjectName(QStringLiteral("CBKind"));
    error_->setObjectName(QStringLiteral("LbError"));
    port_->setRange(1, 65535);
    port_->setValue(2217);
    kind_->addItem(tr_("Telnet RFC 2217"), int(PortAddress::Rfc2217));
    kind_->addItem(tr_("Raw TCP"), int(PortAddress::Tcp));
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #b00020;"));
    error_->setVisible(false);
    if (const auto a = PortAddress::parse(current); a && a->isNetwork()) {
        host_->setText(a->host);
        port_->setValue(a->port);
        kind_->setCurrentIndex(kind_->findData(int(a->kind)));
    }

    auto* form = new QFormLayout;
    form->addRow(tr_("Host:"), host_);
    form->addRow(tr_("Port:"), port_);
    form->addRow(tr_("Kind:"), kind_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkPortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NetworkPortDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addWidget(buttons);
    connect(host_, &QLineEdit::textEdited, error_, &QLabel::hide);
}

QString NetworkPortDialog::composedAddress() {
    QString host = host_->text().trimmed();
    // An IPv6 address goes in brackets, as in a URL.
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const auto kind = static_cast<PortAddress::Kind>(kind_->currentData().toInt());
    const QString text = PortAddress::kindScheme(kind) + QStringLiteral("://") + host +
                         QLatin1Char(':') + QString::number(port_->value());
    QString error;
    const std::optional<PortAddress> a = PortAddress::parse(text, &error);
    if (!a) {
        error_->setText(error);
        error_->setVisible(true);
        return {};
    }
    error_->setVisible(false);
    return a->text();
}

void NetworkPortDialog::accept() {
    const QString a = composedAddress();
    if (a.isEmpty()) {
        host_->setFocus();
        return;
    }
    address_ = a;
    QDialog::accept();
}

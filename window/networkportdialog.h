#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// "Network…" in the port list: the host, port and kind of a network serial
// server, put together as the address the settings keep. A malformed
// address is said under the fields and the dialog stays open.
class NetworkPortDialog : public QDialog {
    Q_OBJECT
public:
    // `current` fills the fields when it is a network address.
    explicit NetworkPortDialog(const QString& current, QWidget* parent = nullptr);

    // The address accepted, e.g. "rfc2217://192.168.1.20:4001".
    QString address() const { return address_; }
    // What the fields make, checked; empty with the reason shown otherwise.
    QString composedAddress();

    QLineEdit* hostEdit() const { return host_; }
    QSpinBox* portEdit() const { return port_; }
    QComboBox* kindBox() const { return kind_; }
    QLabel* errorLabel() const { return error_; }

    void accept() override;

private:
    QLineEdit* host_;
    QSpinBox* port_;
    QComboBox* kind_;
    QLabel* error_;
    QString address_;
};

#pragma once

#include "window/page.h"

class FieldBinder;
class QComboBox;
class QLineEdit;

namespace Ui {
class CommunicationsPage;
}

// Page 5, "Comm": the instrument's own serial port (protocol, baud rate,
// frame, response time, address) and the fieldbus board (protocol, baud
// rate, address, IP address and subnet mask). Every control writes its
// parameter as it changes or is left.
class CommunicationsPage : public Page {
    Q_OBJECT
public:
    explicit CommunicationsPage(PageContext& context, QWidget* parent = nullptr);
    ~CommunicationsPage() override;

    int number() const override { return 5; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A plain combo box: its role := the item index.
    void writeIndex(QComboBox* box, int role);
    void cbframeChange();
    void CBProt2Change();
    void update_fieldbus_panel();
    void EaddcomWritten(const QString& value, bool answered);
    // MEIP and MESNET: the four numbers of the dotted text to four roles.
    void writeDotted(QLineEdit* field, int firstRole);
    QString dottedOfRoles(int firstRole);

    Ui::CommunicationsPage* ui;
    FieldBinder* binder_ = nullptr;
};

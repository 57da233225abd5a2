#pragma once

#include "window/page.h"

namespace Ui {
class CommunicationsPage;
}

// Page 5, "Comm": serial port and fieldbus settings.
class CommunicationsPage : public Page {
    Q_OBJECT
public:
    explicit CommunicationsPage(PageContext& context, QWidget* parent = nullptr);
    ~CommunicationsPage() override;

    int number() const override { return 5; }

private:
    Ui::CommunicationsPage* ui;
};

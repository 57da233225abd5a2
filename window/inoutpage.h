#pragma once

#include "window/page.h"

namespace Ui {
class InOutPage;
}

// Page 4, "In/Out": the two setpoint outputs.
class InOutPage : public Page {
    Q_OBJECT
public:
    explicit InOutPage(PageContext& context, QWidget* parent = nullptr);
    ~InOutPage() override;

    int number() const override { return 4; }

private:
    Ui::InOutPage* ui;
};

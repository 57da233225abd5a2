#pragma once

#include "window/page.h"

namespace Ui {
class FunctionsPage;
}

// Page 7, "Function": keyboard and application colour.
class FunctionsPage : public Page {
    Q_OBJECT
public:
    explicit FunctionsPage(PageContext& context, QWidget* parent = nullptr);
    ~FunctionsPage() override;

    int number() const override { return 7; }

private:
    Ui::FunctionsPage* ui;
};

#pragma once

#include "window/page.h"

namespace Ui {
class FactoryPage;
}

// Page 13, "Factory": factory settings.
class FactoryPage : public Page {
    Q_OBJECT
public:
    explicit FactoryPage(PageContext& context, QWidget* parent = nullptr);
    ~FactoryPage() override;

    int number() const override { return 13; }

private:
    Ui::FactoryPage* ui;
};

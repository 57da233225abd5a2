#pragma once

#include "window/page.h"

namespace Ui {
class TestPage;
}

// Page 11, "Test": the hardware test.
class TestPage : public Page {
    Q_OBJECT
public:
    explicit TestPage(PageContext& context, QWidget* parent = nullptr);
    ~TestPage() override;

    int number() const override { return 11; }

private:
    Ui::TestPage* ui;
};

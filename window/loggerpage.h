#pragma once

#include "window/page.h"

namespace Ui {
class LoggerPage;
}

// Page 12, "Logger": the PC data logger.
class LoggerPage : public Page {
    Q_OBJECT
public:
    explicit LoggerPage(PageContext& context, QWidget* parent = nullptr);
    ~LoggerPage() override;

    int number() const override { return 12; }

private:
    Ui::LoggerPage* ui;
};

#pragma once

#include "window/page.h"

namespace Ui {
class DocumentsPage;
}

// Page 10, "Docu": manuals and fieldbus files.
class DocumentsPage : public Page {
    Q_OBJECT
public:
    explicit DocumentsPage(PageContext& context, QWidget* parent = nullptr);
    ~DocumentsPage() override;

    int number() const override { return 10; }

private:
    Ui::DocumentsPage* ui;
};

#pragma once

#include "window/page.h"

namespace Ui {
class BackupPage;
}

// Page 9, "Backup": backup, restore and the group GB_Reset.
class BackupPage : public Page {
    Q_OBJECT
public:
    explicit BackupPage(PageContext& context, QWidget* parent = nullptr);
    ~BackupPage() override;

    int number() const override { return 9; }

private:
    Ui::BackupPage* ui;
};

#pragma once

#include "window/page.h"

namespace Ui {
class DocumentsPage;
}

// Page 10, "Docu": the folder of all manuals and, for a PROFIBUS board, the
// folder of the fieldbus description files, opened in the desktop's file
// manager.
class DocumentsPage : public Page {
    Q_OBJECT
public:
    explicit DocumentsPage(PageContext& context, QWidget* parent = nullptr);
    ~DocumentsPage() override;

    int number() const override { return 10; }

    void bt_GSDClick();
    void bt_allmanualsClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The shipped folder in the file manager, or "File not Found!".
    void openFolder(const QString& relative);
    // bt_GSD follows the fieldbus protocol the mirror holds.
    void showFieldbusFiles();

    Ui::DocumentsPage* ui;
};

#include "window/documentspage.h"

#include "ui_documentspage.h"

DocumentsPage::DocumentsPage(PageContext& context, QWidget* parent) : Page(context, parent), ui(new Ui::DocumentsPage) {
    ui->setupUi(this);
    claimControls();
}

DocumentsPage::~DocumentsPage() {
    delete ui;
}

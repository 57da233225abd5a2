#include "window/documentspage.h"

#include "ui_documentspage.h"

DocumentsPage::DocumentsPage(QWidget* parent) : Page(parent), ui(new Ui::DocumentsPage) {
    ui->setupUi(this);
}

DocumentsPage::~DocumentsPage() {
    delete ui;
}

#include "window/communicationspage.h"

#include "ui_communicationspage.h"

CommunicationsPage::CommunicationsPage(QWidget* parent)
    : Page(parent), ui(new Ui::CommunicationsPage) {
    ui->setupUi(this);
}

CommunicationsPage::~CommunicationsPage() {
    delete ui;
}

#include "window/communicationspage.h"

#include "ui_communicationspage.h"

CommunicationsPage::CommunicationsPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::CommunicationsPage) {
    ui->setupUi(this);
    claimControls();
}

CommunicationsPage::~CommunicationsPage() {
    delete ui;
}

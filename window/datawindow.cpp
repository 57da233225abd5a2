#include "window/datawindow.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTimer>

#include "base/texts.h"
#include "ui_fdata.h"
#include "window/localization.h"

Fdata::Fdata(ImageSource source, QWidget* owner)
    : QWidget(owner, Qt::Window),
      ui(new Ui::Fdata),
      source_(std::move(source)),
      refresh_(new QTimer(this)) {
    ui->setupUi(this);
    setWindowTitle(tr_("Data"));
    ui->BitBtn2->setText(tr_("Close"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(14);
    ui->Memo->setFont(mono);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &QWidget::hide);
    refresh_->setInterval(1000);
    connect(refresh_, &QTimer::timeout, this, &Fdata::refresh);
    Localization::windowBuilt(this);
}

Fdata::~Fdata() {
    delete ui;
}

void Fdata::showImage() {
    refresh();
    show();
    raise();
    activateWindow();
}

void Fdata::refresh() {
    if (!source_)
        return;
    const QString text = source_().join(QLatin1Char('\n'));
    if (text == ui->Memo->toPlainText())
        return;
    const int scroll = ui->Memo->verticalScrollBar()->value();
    ui->Memo->setPlainText(text);
    ui->Memo->verticalScrollBar()->setValue(scroll);
}

QStringList Fdata::shownLines() const {
    return ui->Memo->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void Fdata::showEvent(QShowEvent* event) {
    refresh_->start();
    QWidget::showEvent(event);
}

void Fdata::hideEvent(QHideEvent* event) {
    refresh_->stop();
    QWidget::hideEvent(event);
}

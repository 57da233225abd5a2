#include "window/questionbox.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QScreen>
#include <QStyle>

#include "base/texts.h"
#include "ui_fbox.h"
#include "window/pictures.h"
#include "window/localization.h"

TFbox::TFbox(QWidget* owner) : QDialog(owner), ui(new Ui::TFbox) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const QSize pic(51, 50);
    ui->Image1->setPixmap(Pictures::get(QStringLiteral("question"), pic));
    ui->Image2->setPixmap(Pictures::get(QStringLiteral("error"), pic));
    ui->Image3->setPixmap(Pictures::get(QStringLiteral("information"), pic));
    ui->btSI->setText(tr_("YES"));
    ui->BtNO->setText(tr_("NO"));
    ui->btOK->setText(tr_("OK"));
    for (QPushButton* b : {ui->btSI, ui->BtNO, ui->btOK})
        b->hide();
    connect(ui->btSI, &QPushButton::clicked, this, [this] {
        answer_ = true;
        accept();
    });
    connect(ui->BtNO, &QPushButton::clicked, this, [this] {
        answer_ = false;
        reject();
    });
    connect(ui->btOK, &QPushButton::clicked, this, &QDialog::accept);
    Localization::windowBuilt(this);
}

TFbox::~TFbox() {
    delete ui;
}

void TFbox::closeEvent(QCloseEvent* event) {
    // The title-bar button is not consent, whatever the last question got.
    answer_ = false;
    QDialog::closeEvent(event);
}

int TFbox::widthFor(const QString& text, const QFontMetrics& metrics) {
    int width = kStartWidth;
    for (const QString& line : text.split(QLatin1Char('\n')))
        width = qMax(width, metrics.horizontalAdvance(line));
    // The label follows the box through its side anchors; the box ends 80
    // pixels wider than the label.
    const int label = width - 2 * kLabelMargin;
    return label + 80;
}

bool TFbox::domanda(QWidget* owner, const QString& text, int mode) {
    QWidget* top = owner ? owner->window() : nullptr;
    TFbox* box = top ? top->findChild<TFbox*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!box)
        box = new TFbox(top);
    return box->ask(text, mode);
}

bool TFbox::ask(const QString& text, int mode) {
    answer_ = false;
    ui->lbquery->setText(text);
    const bool question = mode == Question;
    ui->btSI->setVisible(question);
    ui->BtNO->setVisible(question);
    ui->btOK->setVisible(!question);
    ui->Image1->setVisible(question);
    ui->Image2->setVisible(mode == Error);
    ui->Image3->setVisible(!question && mode != Error);
    setWindowTitle(question ? tr_("Attention please!")
                            : (mode == Error ? tr_("Error!!") : tr_("Information")));
    arrange();

    QWidget* owner = parentWidget();
    QRect frame = geometry();
    if (owner && owner->isVisible())
        frame.moveCenter(owner->frameGeometry().center());
    else if (const QScreen* screen = this->screen())
        frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());

    (question ? ui->btSI : ui->btOK)->setFocus();
    exec();
    return answer_;
}

void TFbox::arrange() {
    const int w = widthFor(ui->lbquery->text(), QFontMetrics(ui->lbquery->font()));
    const int labelWidth = w - 2 * kLabelMargin;
    const int labelHeight = qMax(40, ui->lbquery->heightForWidth(labelWidth));
    const int picTop = 10;
    const int labelTop = picTop + 50 + 8;
    const int buttonTop = labelTop + labelHeight + 12;
    const int h = qMax(177, buttonTop + ui->btOK->height() + 10);

    setFixedSize(w, h);
    ui->lbquery->setGeometry(kLabelMargin, labelTop, labelWidth, labelHeight);
    for (QLabel* pic : {ui->Image1, ui->Image2, ui->Image3})
        pic->move((w - pic->width()) / 2, picTop);
    const int bw = ui->btOK->width();
    ui->btOK->move((w - bw) / 2, buttonTop);
    ui->btSI->move((w - bw) / 4, buttonTop);
    ui->BtNO->move((w - bw) / 4 * 3, buttonTop);
}

#include "window/navigator.h"

#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStackedWidget>
#include <QToolButton>

#include "session/connection.h"
#include "base/programfolder.h"
#include "session/session.h"
#include "base/texts.h"
#include "window/page.h"
#include "window/topstrip.h"

Navigator::Navigator(QMainWindow* window, TopStrip* strip, QStackedWidget* stack, Session& session,
                     QObject* parent)
    : QObject(parent), window_(window), strip_(strip), stack_(stack), s_(session) {
    for (int n : strip_->pageNumbers())
        colourButton(n, false);
}

void Navigator::addPage(Page* page) {
    pages_.insert(page->number(), page);
    stack_->addWidget(page);
    if (page->number() == current_)
        stack_->setCurrentWidget(page);
}

QSize Navigator::clientSize(int layout) {
    return layout == Compact ? QSize(390, 430) : QSize(930, 550);
}

QColor Navigator::buttonColour(int n) const {
    return strip_->isMarkedCurrent(n) ? kCurrentButton : kOtherButton;
}

void Navigator::colourButton(int n, bool current) {
    strip_->markCurrent(n, current);
}

void Navigator::AbilPannel(int n) {
    // Every page change ends a running output test, analog test or
    // regulation, also on the page already shown.
    s_.endRunningTests();
    if (n == current_ || !pages_.contains(n))
        return;
    stack_->setCurrentWidget(pages_.value(n));
    if (n != 0)
        colourButton(n, true);
    if (current_ != 0)
        colourButton(current_, false);
    current_ = n;
    strip_->setSetupCaption(n == 0 ? tr_("Setup") : tr_("Home"));
    Q_EMIT pageChanged(n);
}

void Navigator::form_style(int layout) {
    QToolButton* factory = strip_->pageButton(13);
    factory->setVisible(
        QFileInfo::exists(ProgramFolder::file(QString::fromLatin1(kFactoryMarker))));

    const bool setup = layout == Setup;
    for (int n : {1, 2, 4, 5, 6, 7, 8, 9}) {
        strip_->pageButton(n)->setVisible(setup);
        if (!setup)
            colourButton(n, false);
    }
    for (int n : {10, 11, 12})
        strip_->pageButton(n)->setVisible(!setup);
    if (setup)
        factory->setVisible(false);

    QWidget* info = window_->findChild<QWidget*>(QStringLiteral("Pan_infoB"));
    if (info)
        info->setVisible(layout != Compact && s_.link().online);

    const QSize client = clientSize(layout);
    const int menu = window_->menuBar() ? window_->menuBar()->sizeHint().height() : 0;
    window_->setFixedSize(client.width(), client.height() + menu);
    if (setup)
        placeWindow();
    layout_ = layout;
    Q_EMIT layoutChanged(layout);
}

void Navigator::placeWindow() {
    const QScreen* screen = window_->screen();
    if (!screen)
        return;
    const QRect avail = screen->geometry();
    QPoint pos = window_->pos();
    const QRect frame = window_->frameGeometry();
    if (pos.y() + frame.height() > avail.height())
        pos.setY(avail.height() - frame.height() - 50);
    if (pos.x() + frame.width() > avail.width())
        pos.setX(avail.width() - frame.width() - 50);
    window_->move(pos);
}

void Navigator::pageButtonClick(int n) {
    if (n == 10)
        form_style(Compact);
    if (n == 11 || n == 12)
        form_style(Service);
    if (n == 13)
        form_style(Setup);
    AbilPannel(n);
}

void Navigator::BtSetupClick() {
    s_.connection().loadOfflineDefinition();
    if (strip_->setupButton()->text() != tr_("Setup")) {
        AbilPannel(0);
        form_style(Compact);
    } else if (s_.link().online || s_.link().modo_offline) {
        form_style(Setup);
        AbilPannel(1);
    } else {
        form_style(Setup);
        AbilPannel(7);
    }
    strip_->setAutoHide(false);
    Q_EMIT setupClicked();
}

void Navigator::toggleFactoryButton() {
    QToolButton* factory = strip_->pageButton(13);
    factory->setVisible(factory->isHidden());
}

bool Navigator::openPage(int n) {
    if (!pages_.contains(n))
        return false;
    if (n == 0 || n == 10)
        form_style(Compact);
    else if (n == 11 || n == 12)
        form_style(Service);
    else
        form_style(Setup);
    AbilPannel(n);
    return true;
}

#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "window/questionbox.h"

// Answers the question boxes a test provokes: every box that opens is
// recorded (title, text, buttons shown) and then left by the chosen way.
class BoxWatcher : public QObject {
public:
    enum Way { Yes, No, Ok, CloseButton };

    struct Seen {
        QString title;
        QString text;
        QStringList buttons;  // objectNames of the visible buttons
        int width = 0;
    };

    explicit BoxWatcher(Way way = Ok) : way_(way) {
        timer_.setInterval(10);
        connect(&timer_, &QTimer::timeout, this, &BoxWatcher::poll);
        timer_.start();
    }

    void setWay(Way way) { way_ = way; }
    QList<Seen> seen;
    QStringList texts() const {
        QStringList out;
        for (const Seen& s : seen)
            out << s.text;
        return out;
    }

private:
    void poll() {
        auto* box = qobject_cast<TFbox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        Seen s;
        s.title = box->windowTitle();
        s.text = box->findChild<QLabel*>(QStringLiteral("lbquery"))->text();
        for (const char* name : {"btSI", "BtNO", "btOK"}) {
            auto* b = box->findChild<QAbstractButton*>(QLatin1String(name));
            if (b && !b->isHidden())
                s.buttons << QLatin1String(name);
        }
        s.width = box->width();
        seen << s;
        const char* press = way_ == Yes ? "btSI" : way_ == No ? "BtNO" : "btOK";
        auto* b = box->findChild<QAbstractButton*>(QLatin1String(press));
        if (way_ == CloseButton || !b || b->isHidden())
            box->close();
        else
            b->click();
    }

    Way way_;
    QTimer timer_;
};

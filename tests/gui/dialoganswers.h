#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include "window/questionbox.h"

// Answers, in order, every modal dialog a page opens: question boxes (yes or
// no; a message is acknowledged without an answer), file dialogs (a path, or cancel) and text input boxes (a text, or
// cancel). What each one showed is recorded. A dialog with no answer left
// is cancelled (a question box: NO) and counted as unexpected.
class DialogAnswers : public QObject {
public:
    struct Seen {
        QString kind;  // "box", "file", "input"
        QString name;  // objectName of a file or input dialog
        QString text;  // the box's text; the input box's label
        QString title;
        QString directory;  // where a file dialog opened
        QString selected;   // the file name a file dialog opened with
        bool echoHidden = false;
    };

    DialogAnswers() {
        timer_.setInterval(10);
        connect(&timer_, &QTimer::timeout, this, &DialogAnswers::poll);
        timer_.start();
    }

    DialogAnswers& yes() { return box(true); }
    DialogAnswers& no() { return box(false); }
    // An empty path cancels the dialog.
    DialogAnswers& file(const QString& path) {
        files_.enqueue(path);
        return *this;
    }
    // A null text cancels the box.
    DialogAnswers& input(const QString& text) {
        inputs_.enqueue(text);
        return *this;
    }

    QList<Seen> seen;
    int unexpected = 0;
    QStringList boxTexts() const {
        QStringList out;
        for (const Seen& s : seen)
            if (s.kind == QLatin1String("box"))
                out << s.text;
        return out;
    }
    // For failure messages: what was seen, one dialog a line.
    QByteArray describe() const {
        QStringList lines;
        for (const Seen& s : seen)
            lines << s.kind + QLatin1Char(' ') + s.name + QLatin1Char(' ') + s.text;
        return lines.join(QLatin1Char('\n')).toUtf8();
    }
    bool drained() const { return boxes_.isEmpty() && files_.isEmpty() && inputs_.isEmpty(); }
    void clear() {
        seen.clear();
        unexpected = 0;
        boxes_.clear();
        files_.clear();
        inputs_.clear();
    }

private:
    DialogAnswers& box(bool answer) {
        boxes_.enqueue(answer);
        return *this;
    }

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto* b = qobject_cast<TFbox*>(modal)) {
            Seen s;
            s.kind = QStringLiteral("box");
            s.name = b->objectName();
            s.text = b->findChild<QLabel*>(QStringLiteral("lbquery"))->text();
            s.title = b->windowTitle();
            seen << s;
            // A message has only OK and takes no answer; a question YES and NO.
            auto* ok = b->findChild<QAbstractButton*>(QStringLiteral("btOK"));
            const bool message = ok && !ok->isHidden();
            bool answer = false;
            if (message)
                ;
            else if (boxes_.isEmpty())
                ++unexpected;
            else
                answer = boxes_.dequeue();
            const char* press = answer ? "btSI" : "BtNO";
            auto* button = b->findChild<QAbstractButton*>(QLatin1String(press));
            if (message)
                ok->click();
            else if (button && !button->isHidden())
                button->click();
            else
                b->close();
        } else if (auto* f = qobject_cast<QFileDialog*>(modal)) {
            // A file dialog still busy with its folder may stay open after the
            // first accept: it gets the same answer again.
            if (f == lastFileDialog_ && !lastFile_.isEmpty()) {
                // Bounded, so a dialog that never takes the answer fails the
                // test instead of hanging it.
                if (++retries_ > 100) {
                    ++unexpected;
                    lastFile_.clear();
                    f->reject();
                } else {
                    answerFile(f, lastFile_);
                }
                return;
            }
            Seen s;
            s.kind = QStringLiteral("file");
            s.name = f->objectName();
            s.title = f->windowTitle();
            s.directory = f->directory().absolutePath();
            const QStringList preset = f->selectedFiles();
            s.selected = preset.isEmpty() ? QString() : QFileInfo(preset.first()).fileName();
            seen << s;
            if (files_.isEmpty()) {
                ++unexpected;
                f->reject();
                return;
            }
            const QString path = files_.dequeue();
            if (path.isEmpty()) {
                f->reject();
                return;
            }
            lastFileDialog_ = f;
            lastFile_ = path;
            retries_ = 0;
            answerFile(f, path);
        } else if (auto* in = qobject_cast<QInputDialog*>(modal)) {
            Seen s;
            s.kind = QStringLiteral("input");
            s.name = in->objectName();
            s.text = in->labelText();
            s.title = in->windowTitle();
            s.echoHidden = in->textEchoMode() != QLineEdit::Normal;
            seen << s;
            if (inputs_.isEmpty()) {
                ++unexpected;
                in->reject();
                return;
            }
            const QString text = inputs_.dequeue();
            if (text.isNull()) {
                in->reject();
                return;
            }
            in->setTextValue(text);
            in->accept();
        }
    }

    static void answerFile(QFileDialog* f, const QString& path) {
        f->setDirectory(QFileInfo(path).absolutePath());
        f->selectFile(path);
        // The name edit holds the whole path, whatever the folder view has
        // loaded by now.
        if (auto* edit = f->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        // accept() is protected in QFileDialog, public and virtual in QDialog.
        static_cast<QDialog*>(f)->accept();
    }

    QPointer<QFileDialog> lastFileDialog_;
    QString lastFile_;
    int retries_ = 0;
    QQueue<bool> boxes_;
    QQueue<QString> files_;
    QQueue<QString> inputs_;
    QTimer timer_;
};

#pragma once

#include <QDialog>

namespace Ui {
class TFbox;
}

// The question box: every confirmation, error and notice of the program.
// One box exists per owner window; it is created on first use and reused.
class TFbox : public QDialog {
    Q_OBJECT
public:
    enum Mode { Question = 0, Error = 1, Information = 2 };

    explicit TFbox(QWidget* owner);
    ~TFbox() override;

    // Shows the box modally over `owner` and returns true only when the user
    // pressed "YES" in this very question. Any other way out (NO, OK, the
    // title-bar close button, Escape) is a "NO".
    static bool domanda(QWidget* owner, const QString& text, int mode);

    // The width rule on its own: the box's width for a text, given the font
    // the box measures with.
    static int widthFor(const QString& text, const QFontMetrics& metrics);

    static constexpr int kStartWidth = 250;
    static constexpr int kLabelMargin = 16;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool ask(const QString& text, int mode);
    void arrange();

    Ui::TFbox* ui;
    bool answer_ = false;
};

#pragma once

#include <QColor>
#include <functional>
#include <optional>

#include "services/certificate.h"
#include "window/page.h"

class QLineEdit;
class QPushButton;

namespace Ui {
class CalibrationPage;
}

// Page 1, "Calib.": the scale's base settings (division, maximum weight,
// sensitivity, fixed tare, used weight, sent together by "Send"), the
// calibration log panel, and the calibration itself (zero, known weight,
// reset).
class CalibrationPage : public Page {
    Q_OBJECT
public:
    static inline const QColor kMatches{0xFF, 0x80, 0x00};  // fields as the instrument has them
    static inline const QColor kDiffers{0xFF, 0x00, 0x00};  // an edit not sent yet

    // What the guided calibration's certificate reads of the instrument; the
    // window supplies it, as the page's context does not reach the session.
    struct CertificateSource {
        std::function<std::optional<double>()> division;
        std::function<CertificateData()> certificate;
    };

    CalibrationPage(PageContext& context, CertificateSource source, QWidget* parent = nullptr);
    ~CalibrationPage() override;

    int number() const override { return 1; }

    // Shows the calibration log's count and date.
    void windowShown() override;
    // The log panel from the file again: the language may have replaced
    // its two labels with translated design texts.
    void languageChanged() override;

    // Whether the fields show what the instrument holds; "Send" is drawn
    // in that state's colour.
    enum class SendState { Matches, Differs };
    SendState sendState() const { return sendState_; }
    QColor sendColour() const { return sendState_ == SendState::Matches ? kMatches : kDiffers; }
    // After a read-out the fields are the instrument's.
    void showFieldsMatch() { setSendState(SendState::Matches); }

    // Reads "Cal_log.txt" into the panel; without a file the panel keeps
    // what it shows.
    void loadcallog();

    // The page's calibration sequences, run by its buttons and by the
    // guided calibration alike. Zero: the calibration zero command; true
    // when the instrument took it.
    bool runZero();
    // Acquire with `weightText` as the known weight (put into the field
    // first): role 7, then the acquire command once role 7 was taken, and
    // the calibration log counts it. True when the instrument took both.
    bool runAcquire(const QString& weightText);
    // "Guided calibration…": the assistant, online only.
    void openAssistant();
    QPushButton* guidedButton() const { return guided_; }

private:
    void CBUnitChange();
    void EfsChange();
    void bt_sendClick();
    void bt_zeroClick();
    void bt_acquire1Click();
    void BtReset_calClick();

    // Counts one calibration in the panel and the file.
    void salvacallog();
    // The checks "Send" makes before anything is written; false when one
    // failed (the technician has seen why).
    bool sendChecksPass();
    void setSendState(SendState state);
    // A text the page itself puts into one of its fields, without running
    // the field's change handler.
    void showText(QLineEdit* field, const QString& text);
    void notCorrect();

    Ui::CalibrationPage* ui;
    QPushButton* guided_ = nullptr;
    CertificateSource certificateSource_;
    // CBUnitChange lets events run while the instrument answers, so a
    // second change of the box can arrive meanwhile.
    bool unitChanging_ = false;
    SendState sendState_ = SendState::Differs;
};

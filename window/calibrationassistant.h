#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>

#include "services/certificate.h"
#include "services/verification.h"

class PageContext;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;

// "Guided calibration…": job, zero, span, verification up and down,
// optional repeatability and the result with its certificate, one page
// each. Zero and span run the calibration page's own sequences; the
// readings are judged by the verification the command line uses. A weight
// is read only once the instrument has reported it stable for a while; a
// lost link holds the wait until the instrument is back.
class CalibrationAssistant : public QDialog {
    Q_OBJECT
public:
    enum Step { Job, Zero, Span, Verify, Repeat, Result };

    // The calibration page's sequences (true when the instrument took it)
    // and what the certificate reads of the instrument, handed down by the
    // window: the page context does not reach the session.
    struct Sequences {
        std::function<bool()> zero;
        std::function<bool(const QString&)> acquire;
        std::function<std::optional<double>()> division;
        std::function<CertificateData()> certificate;
    };

    static constexpr int kZeroHoldMs = 2000;
    static constexpr int kReadHoldMs = 1000;
    static constexpr int kSampleMs = 100;

    CalibrationAssistant(PageContext& context, Sequences sequences, QWidget* parent = nullptr);
    ~CalibrationAssistant() override;

    Step step() const { return step_; }
    bool waiting() const { return waiting_; }
    const Verification* verification() const { return verification_.get(); }
    // The instruction and the status line as shown.
    QString instruction() const;
    QString status() const;
    // The result page's verdict text.
    QString resultText() const;

    // "Save certificate…" without its folder dialog: the PDF and the CSV
    // in `folder`, both written whole or neither.
    bool saveCertificate(const QString& folder, QString* error);

    void next();
    void back();

protected:
    void reject() override;

private:
    void buildPages();
    void showStep(Step step);
    void sample();
    void settled();
    void startWaiting();
    void updateSpanWarning();
    void updateVerifyInstruction();
    void showRows();
    void finishResult();
    void saveClicked();
    void rememberJob() const;
    QString loadName(int row) const;
    QString completedText() const;

    PageContext& context_;
    Sequences sequences_;
    Step step_ = Job;
    bool waiting_ = false;
    bool zeroDone_ = false;
    bool spanDone_ = false;
    bool online_ = true;
    StableWatch watch_{kReadHoldMs};
    QElapsedTimer clock_;
    QTimer sampler_;
    std::unique_ptr<Verification> verification_;
    QList<double> order_;
    int orderIndex_ = 0;
    double top_ = 0.0;
    int repeatCount_ = 0;
    quint64 lastReadings_ = 0;

    QStackedWidget* pages_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* weight_ = nullptr;
    QLabel* instruction_ = nullptr;
    QLabel* status_ = nullptr;
    QLineEdit* technician_ = nullptr;
    QLineEdit* customer_ = nullptr;
    QLineEdit* tag_ = nullptr;
    QTableWidget* references_ = nullptr;
    QComboBox* accuracy_ = nullptr;
    QComboBox* kind_ = nullptr;
    QLineEdit* known_ = nullptr;
    QLabel* spanWarning_ = nullptr;
    QLineEdit* loads_ = nullptr;
    QTableWidget* rows_ = nullptr;
    QCheckBox* repeatOn_ = nullptr;
    QLineEdit* repeatLoad_ = nullptr;
    QLabel* result_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

#include "window/calibrationassistant.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "base/programfolder.h"
#include "base/texts.h"
#include "services/certificate.h"
#include "session/pagecontext.h"

namespace {

constexpr int kStatusStable = 2;  // bit of the instrument's status byte
constexpr int kReferenceRows = 4;
constexpr int kRepeatTimes = 3;
// A known weight below this share of the maximum calibrates imprecisely.
constexpr double kSpanShare = 0.2;

QString jobFile() {
    return ProgramFolder::file(QStringLiteral("Certificate.ini"));
}

}  // namespace

CalibrationAssistant::CalibrationAssistant(PageContext& context, Sequences sequences,
                                           QWidget* parent)
    : QDialog(parent), context_(context), sequences_(std::move(sequences)) {
    setObjectName(QStringLiteral("CalibrationAssistant"));
    setWindowTitle(tr_("Guided calibration"));
    buildPages();
    clock_.start();
    sampler_.setInterval(kSampleMs);
    connect(&sampler_, &QTimer::timeout, this, &CalibrationAssistant::sample);
    sampler_.start();
    online_ = context_.online();
    showStep(Job);
    sample();
}

CalibrationAssistant::~CalibrationAssistant() = default;

void CalibrationAssistant::buildPages() {
    auto* outer = new QVBoxLayout(this);
    title_ = new QLabel(this);
    QFont big = title_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    title_->setFont(big);
    outer->addWidget(title_);

    weight_ = new QLabel(this);
    weight_->setObjectName(QStringLiteral("assistantWeight"));
    QFont huge = weight_->font();
    huge.setPointSizeF(huge.pointSizeF() * 3.2);
    huge.setBold(true);
    weight_->setFont(huge);
    weight_->setAlignment(Qt::AlignCenter);
    weight_->setMinimumHeight(70);
    outer->addWidget(weight_);

    instruction_ = new QLabel(this);
    instruction_->setWordWrap(true);
    outer->addWidget(instruction_);

    pages_ = new QStackedWidget(this);
    outer->addWidget(pages_, 1);

    // Job
    {
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        technician_ = new QLineEdit;
        customer_ = new QLineEdit;
        tag_ = new QLineEdit;
        technician_->setObjectName(QStringLiteral("technician"));
        customer_->setObjectName(QStringLiteral("customer"));
        tag_->setObjectName(QStringLiteral("tag"));
        form->addRow(tr_("Technician"), technician_);
        form->addRow(tr_("Customer / site"), customer_);
        form->addRow(tr_("Instrument tag"), tag_);
        references_ = new QTableWidget(kReferenceRows, 2);
        references_->setObjectName(QStringLiteral("references"));
        references_->setHorizontalHeaderLabels({tr_("Value"), tr_("Certificate number")});
        references_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        references_->setMinimumHeight(120);
        form->addRow(tr_("Reference weights"), references_);
        accuracy_ = new QComboBox;
        accuracy_->setObjectName(QStringLiteral("accuracy"));
        accuracy_->addItems({QStringLiteral("II"), QStringLiteral("III"), QStringLiteral("IIII")});
        accuracy_->setCurrentIndex(1);
        form->addRow(tr_("Accuracy class"), accuracy_);
        kind_ = new QComboBox;
        kind_->setObjectName(QStringLiteral("kind"));
        kind_->addItems({tr_("Initial"), tr_("In service")});
        form->addRow(tr_("Verification kind"), kind_);
        pages_->addWidget(page);

        const QSettings remembered(jobFile(), QSettings::IniFormat);
        technician_->setText(remembered.value(QStringLiteral("technician")).toString());
        customer_->setText(remembered.value(QStringLiteral("customer")).toString());
        tag_->setText(remembered.value(QStringLiteral("tag")).toString());
    }
    // Zero
    pages_->addWidget(new QWidget);
    // Span
    {
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        known_ = new QLineEdit;
        known_->setObjectName(QStringLiteral("knownWeight"));
        form->addRow(tr_("Known weight"), known_);
        spanWarning_ = new QLabel;
        spanWarning_->setWordWrap(true);
        spanWarning_->setStyleSheet(QStringLiteral("color: #b05000"));
        form->addRow(spanWarning_);
        connect(known_, &QLineEdit::textChanged, this, &CalibrationAssistant::updateSpanWarning);
        pages_->addWidget(page);
    }
    // Verification
    {
        auto* page = new QWidget;
        auto* box = new QVBoxLayout(page);
        auto* form = new QFormLayout;
        loads_ = new QLineEdit;
        loads_->setObjectName(QStringLiteral("testLoads"));
        form->addRow(tr_("Test loads"), loads_);
        box->addLayout(form);
        rows_ = new QTableWidget(0, 5);
        rows_->setObjectName(QStringLiteral("readings"));
        rows_->setHorizontalHeaderLabels(
            {tr_("Applied"), tr_("Shown"), tr_("Error"), tr_("Tolerance"), tr_("Verdict")});
        rows_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        box->addWidget(rows_);
        connect(loads_, &QLineEdit::textChanged, this,
                &CalibrationAssistant::updateVerifyInstruction);
        pages_->addWidget(page);
    }
    // Repeatability
    {
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        repeatOn_ = new QCheckBox(tr_("Repeat the check three times at one load"));
        repeatOn_->setObjectName(QStringLiteral("repeatOn"));
        form->addRow(repeatOn_);
        repeatLoad_ = new QLineEdit;
        repeatLoad_->setObjectName(QStringLiteral("repeatLoad"));
        form->addRow(tr_("Load"), repeatLoad_);
        pages_->addWidget(page);
    }
    // Result
    {
        auto* page = new QWidget;
        auto* box = new QVBoxLayout(page);
        result_ = new QLabel;
        result_->setObjectName(QStringLiteral("resultText"));
        result_->setWordWrap(true);
        QFont bold = result_->font();
        bold.setPointSizeF(bold.pointSizeF() * 1.3);
        bold.setBold(true);
        result_->setFont(bold);
        box->addWidget(result_);
        save_ = new QPushButton(tr_("Save certificate…"));
        save_->setObjectName(QStringLiteral("saveCertificate"));
        connect(save_, &QPushButton::clicked, this, &CalibrationAssistant::saveClicked);
        box->addWidget(save_, 0, Qt::AlignLeft);
        box->addStretch(1);
        pages_->addWidget(page);
    }

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("assistantStatus"));
    status_->setWordWrap(true);
    outer->addWidget(status_);

    auto* buttons = new QHBoxLayout;
    back_ = new QPushButton(tr_("Back"));
    next_ = new QPushButton(tr_("Next"));
    cancel_ = new QPushButton(tr_("Cancel"));
    back_->setObjectName(QStringLiteral("assistantBack"));
    next_->setObjectName(QStringLiteral("assistantNext"));
    cancel_->setObjectName(QStringLiteral("assistantCancel"));
    next_->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(cancel_);
    outer->addLayout(buttons);
    connect(back_, &QPushButton::clicked, this, &CalibrationAssistant::back);
    connect(next_, &QPushButton::clicked, this, &CalibrationAssistant::next);
    connect(cancel_, &QPushButton::clicked, this, &CalibrationAssistant::reject);
    resize(620, 640);
}

QString CalibrationAssistant::instruction() const {
    return instruction_->text();
}

QString CalibrationAssistant::status() const {
    return status_->text();
}

QString CalibrationAssistant::resultText() const {
    return result_->text();
}

void CalibrationAssistant::showStep(Step step) {
    step_ = step;
    waiting_ = false;
    pages_->setCurrentIndex(step);
    status_->clear();
    const DisplayState& d = context_.display();
    const std::optional<double> maximum =
        shownWeight(context_.control(QStringLiteral("Eportata_max")).text);
    switch (step) {
        case Job:
            title_->setText(tr_("Job"));
            instruction_->clear();
            break;
        case Zero:
            title_->setText(tr_("Zero"));
            instruction_->setText(tr_("Empty the scale, then press Next."));
            break;
        case Span:
            title_->setText(tr_("Span"));
            instruction_->setText(tr_("Load the known weight, type it in and press Next."));
            if (known_->text().isEmpty())
                known_->setText(context_.control(QStringLiteral("Epeso1")).text);
            updateSpanWarning();
            break;
        case Verify: {
            title_->setText(tr_("Verification"));
            if (loads_->text().isEmpty() && maximum) {
                QStringList texts;
                const std::optional<double> division = sequences_.division();
                for (double l : Verification::defaultLoads(*maximum, division.value_or(1.0)))
                    texts << QString::number(l, 'f', d.decimals);
                loads_->setText(texts.join(QLatin1Char(',')));
            }
            updateVerifyInstruction();
            break;
        }
        case Repeat:
            title_->setText(tr_("Repeatability"));
            instruction_->setText(tr_("Optional: the same load three times, unloading between."));
            if (repeatLoad_->text().isEmpty() && maximum)
                repeatLoad_->setText(QString::number(*maximum / 2.0, 'f', d.decimals));
            break;
        case Result:
            title_->setText(tr_("Result"));
            instruction_->clear();
            finishResult();
            break;
    }
    back_->setEnabled(step == Zero || step == Span || step == Verify);
    next_->setEnabled(step != Result);
    cancel_->setText(step == Result ? tr_("Close") : tr_("Cancel"));
}

void CalibrationAssistant::sample() {
    const bool online = context_.online();
    if (online != online_) {
        online_ = online;
        // Whatever was stable before the link went is no reading now.
        watch_.restart();
    }
    if (!online) {
        weight_->setStyleSheet(QStringLiteral("color: #9a9a9a"));
        weight_->setText(QStringLiteral("- - - - -"));
        if (waiting_)
            status_->setText(
                tr_("The link to the instrument is lost: the assistant waits until it is back."));
        return;
    }
    const QString shown = context_.control(QStringLiteral("LbPeso")).text.trimmed();
    const bool stable = (context_.display().statusFlags >> kStatusStable) & 1;
    weight_->setStyleSheet(stable ? QStringLiteral("color: #1a5a1a") : QString());
    if (weight_->text() != shown)
        weight_->setText(shown);
    if (!waiting_)
        return;
    // Only a reading that came in since the last look counts: while the
    // link fails, the display keeps its last, stable-looking values.
    const quint64 readings = context_.liveReadings();
    if (readings == lastReadings_)
        return;
    lastReadings_ = readings;
    watch_.feed(clock_.elapsed(), stable, shown);
    status_->setText(tr_("Waiting for a stable weight…"));
    if (watch_.settled()) {
        // The timer can fire inside another request's wait: zero and span
        // then wait for the free line rather than report a refusal for a
        // command that was never sent.
        if ((step_ == Zero || step_ == Span) && context_.lineBusy())
            return;
        waiting_ = false;
        settled();
    }
}

void CalibrationAssistant::startWaiting() {
    waiting_ = true;
    // Zero and span change the instrument: they wait longer, so that a
    // reading from before the scale moved cannot count.
    watch_ = StableWatch(step_ == Zero || step_ == Span ? kZeroHoldMs : kReadHoldMs);
    watch_.restart();
    lastReadings_ = context_.liveReadings();
    status_->setText(tr_("Waiting for a stable weight…"));
    back_->setEnabled(false);
    next_->setEnabled(false);
}

void CalibrationAssistant::next() {
    if (waiting_)
        return;
    switch (step_) {
        case Job:
            rememberJob();
            showStep(Zero);
            return;
        case Zero:
            startWaiting();
            return;
        case Span: {
            const std::optional<double> known = shownWeight(known_->text());
            if (!known || *known <= 0.0) {
                context_.showError(tr_("The value is not correct!"));
                return;
            }
            startWaiting();
            return;
        }
        case Verify: {
            if (!verification_) {
                const std::optional<QList<double>> loads = Verification::parseLoads(loads_->text());
                const std::optional<double> division = sequences_.division();
                if (!loads || loads->isEmpty() || !division) {
                    context_.showError(tr_("The value is not correct!"));
                    return;
                }
                verification_ = std::make_unique<Verification>(
                    *accuracyClassFromText(accuracy_->currentText()),
                    kind_->currentIndex() == 1 ? VerificationKind::InService
                                               : VerificationKind::Initial,
                    *division, context_.display().decimals);
                order_ = Verification::sequence(*loads);
                top_ = order_.isEmpty() ? 0.0 : *std::max_element(order_.begin(), order_.end());
                orderIndex_ = 0;
                loads_->setEnabled(false);
            }
            startWaiting();
            return;
        }
        case Repeat: {
            if (!repeatOn_->isChecked()) {
                showStep(Result);
                return;
            }
            if (repeatCount_ == 0) {
                const std::optional<double> load = shownWeight(repeatLoad_->text());
                if (!load || *load < 0.0) {
                    context_.showError(tr_("The value is not correct!"));
                    return;
                }
                verification_->startRepeatability(*load);
                repeatOn_->setEnabled(false);
                repeatLoad_->setEnabled(false);
            }
            startWaiting();
            return;
        }
        case Result:
            return;
    }
}

void CalibrationAssistant::settled() {
    switch (step_) {
        case Zero:
            // Exactly what the page's "Zero" sends.
            if (sequences_.zero()) {
                zeroDone_ = true;
                showStep(Span);
                status_->setText(tr_("Zero set."));
            } else {
                // The step is shown again first: showing it clears the status.
                showStep(Zero);
                status_->setText(
                    tr_("The instrument did not take the command: %1").arg(tr_("Zero")));
            }
            return;
        case Span:
            // Exactly what the page's "Acquire" does, log line included.
            if (sequences_.acquire(known_->text().trimmed())) {
                spanDone_ = true;
                showStep(Verify);
                status_->setText(tr_("Span acquired."));
            } else {
                const QString why =
                    tr_("The instrument did not take the command: %1").arg(tr_("Span"));
                showStep(Span);
                status_->setText(why);
            }
            return;
        case Verify: {
            const double load = order_.at(orderIndex_);
            verification_->record(load, watch_.shown(), orderIndex_ > order_.indexOf(top_));
            showRows();
            ++orderIndex_;
            if (orderIndex_ >= order_.size()) {
                showStep(Repeat);
                return;
            }
            updateVerifyInstruction();
            next_->setEnabled(true);
            status_->clear();
            return;
        }
        case Repeat:
            verification_->recordRepeatability(watch_.shown());
            ++repeatCount_;
            if (repeatCount_ >= kRepeatTimes) {
                showStep(Result);
                return;
            }
            instruction_->setText(
                tr_("Put %1 on the scale again (%2 of %3), then press Next.")
                    .arg(verification_->number(verification_->repeatability()->load))
                    .arg(repeatCount_ + 1)
                    .arg(kRepeatTimes));
            next_->setEnabled(true);
            status_->clear();
            return;
        case Job:
        case Result:
            return;
    }
}

void CalibrationAssistant::back() {
    if (waiting_)
        return;
    if (step_ == Zero)
        showStep(Job);
    else if (step_ == Span)
        showStep(Zero);
    else if (step_ == Verify && !verification_)
        showStep(Span);
}

void CalibrationAssistant::updateSpanWarning() {
    const std::optional<double> maximum =
        shownWeight(context_.control(QStringLiteral("Eportata_max")).text);
    const std::optional<double> known = shownWeight(known_->text());
    const bool light = maximum && known && *known < kSpanShare * *maximum;
    spanWarning_->setText(
        light ? tr_("The known weight is less than 20 % of the maximum weight: the calibration "
                    "may be imprecise.")
              : QString());
}

void CalibrationAssistant::updateVerifyInstruction() {
    if (step_ != Verify)
        return;
    double load = 0.0;
    if (verification_) {
        load = order_.value(orderIndex_);
    } else {
        const std::optional<QList<double>> loads = Verification::parseLoads(loads_->text());
        if (!loads || loads->isEmpty()) {
            instruction_->setText(tr_("The value is not correct!"));
            return;
        }
        load = Verification::sequence(*loads).first();
    }
    const int decimals = context_.display().decimals;
    instruction_->setText(
        tr_("Put %1 on the scale, then press Next.").arg(QString::number(load, 'f', decimals)));
}

QString CalibrationAssistant::loadName(int row) const {
    const VerificationRow& r = verification_->rows().at(row);
    return verification_->number(r.applied) +
           (r.downward ? QStringLiteral(" \u2193") : QStringLiteral(" \u2191"));
}

void CalibrationAssistant::showRows() {
    const Verification& v = *verification_;
    rows_->setRowCount(static_cast<int>(v.rows().size()));
    for (int i = 0; i < v.rows().size(); ++i) {
        const VerificationRow& r = v.rows()[i];
        const std::optional<double> e = r.error();
        const QStringList cells{loadName(i), r.shown ? v.number(*r.shown) : tr_("not read"),
                                e ? v.number(*e) : QStringLiteral("\u2014"),
                                QStringLiteral("\u00b1") + v.toleranceNumber(r.tolerance),
                                r.passed() ? tr_("Pass") : tr_("Fail")};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (c == 4)
                item->setForeground(r.passed() ? QColor(0x1a6b1a) : QColor(0xb00000));
            rows_->setItem(i, c, item);
        }
    }
    rows_->scrollToBottom();
}

void CalibrationAssistant::finishResult() {
    const Verification& v = *verification_;
    QString text;
    if (v.passed()) {
        text = tr_("Every reading is within tolerance.");
    } else {
        QStringList failing;
        for (int row : v.failingRows())
            failing << loadName(row);
        if (v.repeatability() && !v.repeatability()->passed())
            failing << tr_("Repeatability");
        text = tr_("Outside tolerance: %1").arg(failing.join(QStringLiteral(", ")));
    }
    result_->setText(
        QStringLiteral("%1: %2\n%3")
            .arg(tr_("Overall verdict"), v.passed() ? tr_("Pass") : tr_("Fail"), text));
    result_->setStyleSheet(v.passed() ? QStringLiteral("color: #1a6b1a")
                                      : QStringLiteral("color: #b00000"));
}

void CalibrationAssistant::rememberJob() const {
    QSettings remembered(jobFile(), QSettings::IniFormat);
    remembered.setValue(QStringLiteral("technician"), technician_->text());
    remembered.setValue(QStringLiteral("customer"), customer_->text());
    remembered.setValue(QStringLiteral("tag"), tag_->text());
}

bool CalibrationAssistant::saveCertificate(const QString& folder, QString* error) {
    if (!verification_)
        return false;
    CertificateData data = sequences_.certificate();
    data.when = QDateTime::currentDateTime();
    data.technician = technician_->text().trimmed();
    data.customer = customer_->text().trimmed();
    data.tag = tag_->text().trimmed();
    for (int r = 0; r < references_->rowCount(); ++r) {
        const auto cell = [&](int c) {
            const QTableWidgetItem* item = references_->item(r, c);
            return item ? item->text().trimmed() : QString();
        };
        if (!cell(0).isEmpty() || !cell(1).isEmpty())
            data.references.append({cell(0), cell(1)});
    }
    const QString base =
        QDir(folder).filePath(QStringLiteral("certificate-%1")
                                  .arg(data.when.toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString pdf = base + QStringLiteral(".pdf");
    if (!Certificate::writePdf(data, *verification_, pdf, error))
        return false;
    // The two are one record: a PDF without its readings is not left behind.
    if (!Certificate::writeCsv(*verification_, base + QStringLiteral(".csv"), error)) {
        QFile::remove(pdf);
        return false;
    }
    return true;
}

void CalibrationAssistant::saveClicked() {
    QSettings remembered(jobFile(), QSettings::IniFormat);
    const QString start = remembered.value(QStringLiteral("folder"), QDir::homePath()).toString();
    const QString folder = QFileDialog::getExistingDirectory(this, tr_("Save certificate…"), start);
    if (folder.isEmpty())
        return;
    remembered.setValue(QStringLiteral("folder"), folder);
    QString error;
    if (saveCertificate(folder, &error))
        status_->setText(tr_("The certificate and the readings were saved in %1.").arg(folder));
    else
        context_.showError(tr_("The certificate could not be saved: %1").arg(error));
}

QString CalibrationAssistant::completedText() const {
    if (spanDone_)
        return tr_("the zero and the span were set");
    if (zeroDone_)
        return tr_("the zero was set");
    return tr_("nothing was changed");
}

void CalibrationAssistant::reject() {
    sampler_.stop();
    if (step_ != Result)
        context_.showError(tr_("Cancelled. The instrument is as after the last completed step: %1.")
                               .arg(completedText()));
    QDialog::reject();
}

#include "window/trafficwindow.h"

#include <QBrush>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include "base/texts.h"
#include "link/traffictap.h"
#include "window/localization.h"
#include "window/localizeradapter.h"
#include "window/questionbox.h"

namespace {

// The reader check that stopped a damaged line, as the window words it.
QString stageText(FrameReader::Outcome stage) {
    using S = FrameReader::Outcome;
    switch (stage) {
        case S::WrongAddress:
            return tr_("address");
        case S::Short:
            return tr_("short");
        case S::Truncated:
            return tr_("truncated");
        case S::Checksum:
            return tr_("checksum");
        case S::WrongCount:
            return tr_("byte count");
        case S::ConversionError:
            return tr_("not hexadecimal");
        default:
            return TrafficLine::stageName(stage);
    }
}

QString lineSummary(const TrafficRecord& r) {
    QStringList parts;
    for (const TrafficLine& l : r.lines) {
        switch (l.kind) {
            case TrafficLine::Kind::Accepted:
                parts << tr_("accepted");
                break;
            case TrafficLine::Kind::Exception:
                parts << tr_("exception");
                break;
            case TrafficLine::Kind::Late:
                parts << tr_("late");
                break;
            case TrafficLine::Kind::OtherAddress:
                parts << tr_("other address");
                break;
            case TrafficLine::Kind::Damaged:
                parts << tr_("damaged (%1)").arg(stageText(l.stage));
                break;
        }
    }
    return parts.isEmpty() ? tr_("none") : parts.join(QStringLiteral(", "));
}

bool isWriteOrCommand(const TrafficModel::Row& row) {
    return row.record.letter == 'W' || row.decoded.function == 0x05 ||
           row.decoded.function == 0x06 || row.decoded.function == 0x10;
}

// One CSV field: quoted when it holds a separator, a quote or a line end.
QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

// ---------------------------------------------------------------- model

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QString TrafficModel::text(int index, int column) const {
    const Row& row = rows_.at(static_cast<size_t>(index));
    const TrafficRecord& r = row.record;
    switch (column) {
        case Time:
            return r.time.toString(QStringLiteral("HH:mm:ss.zzz"));
        case Letter:
            return QString(QChar(r.letter ? r.letter : '?'));
        case Meaning:
            return row.decoded.meaning;
        case Entries:
            return row.decoded.details();
        case Result:
            return TrafficDecoder::outcomeText(r);
        case Sends:
            return QString::number(r.sends);
        case Wait:
            return QString::number(r.waitMs);
        case Replies:
            return lineSummary(r);
        case Request:
            return QString::fromLatin1(r.request);
        default:
            return {};
    }
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = rows_.at(static_cast<size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole:
            return text(index.row(), index.column());
        case Qt::ToolTipRole:
            if (index.column() == Replies) {
                QStringList lines;
                for (const TrafficLine& l : row.record.lines)
                    lines << QString::fromLatin1(l.text);
                return lines.join(QLatin1Char('\n'));
            }
            return text(index.row(), index.column());
        case Qt::TextAlignmentRole:
            if (index.column() == Sends || index.column() == Wait)
                return int(Qt::AlignRight | Qt::AlignVCenter);
            if (index.column() == Letter)
                return int(Qt::AlignCenter);
            return {};
        case Qt::ForegroundRole:
            switch (row.record.outcome.kind) {
                case Outcome::Kind::Answered:
                    if (row.record.isProblem())
                        return QBrush(QColor(0x9a, 0x5b, 0x00));  // answered, but not cleanly
                    return {};
                case Outcome::Kind::Refused:
                    return QBrush(QColor(0x8a, 0x2b, 0x9a));
                default:
                    return QBrush(QColor(0xb0, 0x1e, 0x1e));
            }
        default:
            return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case Time:
            return tr_("Time");
        case Letter:
            return tr_("Cmd");
        case Meaning:
            return tr_("Exchange");
        case Entries:
            return tr_("Entries");
        case Result:
            return tr_("Outcome");
        case Sends:
            return tr_("Sends");
        case Wait:
            return tr_("Wait ms");
        case Replies:
            return tr_("Replies");
        case Request:
            return tr_("Request");
        default:
            return {};
    }
}

void TrafficModel::append(const QList<Row>& rows) {
    if (rows.isEmpty())
        return;
    // The oldest go first, so the newest are always there.
    const int overflow = static_cast<int>(rows_.size()) + static_cast<int>(rows.size()) - kMaxRows;
    if (overflow > 0) {
        const int drop = std::min(overflow, static_cast<int>(rows_.size()));
        if (drop > 0) {
            beginRemoveRows({}, 0, drop - 1);
            rows_.erase(rows_.begin(), rows_.begin() + drop);
            endRemoveRows();
        }
    }
    const qsizetype skip = std::max<qsizetype>(0, rows.size() - kMaxRows);
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size() - skip) - 1);
    for (qsizetype i = skip; i < rows.size(); ++i)
        rows_.push_back(rows.at(i));
    endInsertRows();
}

void TrafficModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

// ---------------------------------------------------------------- filter

void TrafficFilter::setMode(Mode mode) {
    if (mode == mode_)
        return;
    mode_ = mode;
    invalidateFilter();
}

bool TrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    const auto* model = static_cast<const TrafficModel*>(sourceModel());
    const TrafficModel::Row& row = model->row(sourceRow);
    switch (mode_) {
        case All:
            return true;
        case Writes:
            return isWriteOrCommand(row);
        case Problems:
            return row.record.isProblem();
    }
    return true;
}

// ---------------------------------------------------------------- window

TrafficWindow::TrafficWindow(TrafficTap& tap, const ParameterTable& table, QWidget* owner)
    : QWidget(owner, Qt::Window), tap_(tap), table_(table) {
    setObjectName(QStringLiteral("Traffic"));
    setWindowTitle(tr_("Traffic"));
    resize(930, 550);

    filter_.setSourceModel(&model_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);

    auto* bar = new QHBoxLayout;
    auto* showLabel = new QLabel(tr_("Show"), this);
    showLabel->setObjectName(QStringLiteral("lbShow"));
    filterBox_ = new QComboBox(this);
    filterBox_->setObjectName(QStringLiteral("CBFilter"));
    filterBox_->addItems({tr_("All exchanges"), tr_("Writes and commands"), tr_("Problems only")});
    showLabel->setBuddy(filterBox_);
    pause_ = new QPushButton(tr_("Pause"), this);
    pause_->setObjectName(QStringLiteral("BtPause"));
    pause_->setCheckable(true);
    clear_ = new QPushButton(tr_("Clear"), this);
    clear_->setObjectName(QStringLiteral("BtClear"));
    export_ = new QPushButton(tr_("Export CSV..."), this);
    export_->setObjectName(QStringLiteral("BtExport"));
    auto* close = new QPushButton(tr_("Close"), this);
    close->setObjectName(QStringLiteral("BtClose"));
    bar->addWidget(showLabel);
    bar->addWidget(filterBox_);
    bar->addSpacing(12);
    bar->addWidget(pause_);
    bar->addWidget(clear_);
    bar->addWidget(export_);
    bar->addStretch(1);
    bar->addWidget(close);
    layout->addLayout(bar);

    auto* box = new QGroupBox(tr_("Counters since the last Clear"), this);
    box->setObjectName(QStringLiteral("GBCounters"));
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    auto counter = [&](int column, const QString& caption, const char* name) {
        auto* c = new QLabel(caption, box);
        c->setObjectName(QLatin1String(name) + QStringLiteral("Caption"));
        auto* v = new QLabel(QStringLiteral("0"), box);
        v->setObjectName(QLatin1String(name));
        QFont f = v->font();
        f.setBold(true);
        v->setFont(f);
        c->setAlignment(Qt::AlignCenter);
        v->setAlignment(Qt::AlignCenter);
        grid->addWidget(c, 0, column);
        grid->addWidget(v, 1, column);
        return v;
    };
    exchanges_ = counter(0, tr_("Exchanges"), "lbExchanges");
    retries_ = counter(1, tr_("Retries"), "lbRetries");
    damaged_ = counter(2, tr_("Damaged"), "lbDamaged");
    refused_ = counter(3, tr_("Refused"), "lbRefused");
    timeouts_ = counter(4, tr_("Timeouts"), "lbTimeouts");
    meanReply_ = counter(5, tr_("Mean reply"), "lbMeanReply");
    worstReply_ = counter(6, tr_("Worst reply"), "lbWorstReply");
    for (int c = 0; c < 7; ++c)
        grid->setColumnStretch(c, 1);
    layout->addWidget(box);

    tableView_ = new QTableView(this);
    tableView_->setObjectName(QStringLiteral("TVTraffic"));
    tableView_->setModel(&filter_);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setAlternatingRowColors(true);
    tableView_->setWordWrap(false);
    tableView_->setTextElideMode(Qt::ElideRight);
    tableView_->verticalHeader()->hide();
    tableView_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    tableView_->horizontalHeader()->setHighlightSections(false);
    tableView_->horizontalHeader()->setStretchLastSection(true);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    tableView_->setColumnWidth(TrafficModel::Time, digit * 13);
    tableView_->setColumnWidth(TrafficModel::Letter, digit * 5);
    tableView_->setColumnWidth(TrafficModel::Meaning, digit * 15);
    tableView_->setColumnWidth(TrafficModel::Entries, digit * 27);
    tableView_->setColumnWidth(TrafficModel::Result, digit * 20);
    tableView_->setColumnWidth(TrafficModel::Sends, digit * 6);
    tableView_->setColumnWidth(TrafficModel::Wait, digit * 8);
    // The frame itself is in the detail below the table (and in the export).
    tableView_->setColumnHidden(TrafficModel::Request, true);
    layout->addWidget(tableView_, 1);

    detail_ = new QPlainTextEdit(this);
    detail_->setObjectName(QStringLiteral("MemoDetail"));
    detail_->setReadOnly(true);
    detail_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    detail_->setFont(mono);
    detail_->setFixedHeight(QFontMetrics(mono).lineSpacing() * 5 + 12);
    detail_->setPlaceholderText(tr_("Select an exchange to see its frames."));
    layout->addWidget(detail_);
    connect(tableView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showDetail(current); });

    shown_ = new QLabel(this);
    shown_->setObjectName(QStringLiteral("lbShown"));
    layout->addWidget(shown_);

    connect(filterBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        filter_.setMode(static_cast<TrafficFilter::Mode>(index));
        refreshCounters();
        followLive();
    });
    connect(pause_, &QPushButton::toggled, this, [this](bool on) {
        pause_->setText(on ? tr_("Resume") : tr_("Pause"));
        if (!on)
            flushHeld();
        refreshCounters();
    });
    connect(clear_, &QPushButton::clicked, this, &TrafficWindow::clearAll);
    connect(export_, &QPushButton::clicked, this, &TrafficWindow::exportClicked);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(&tap_, &TrafficTap::records, this, &TrafficWindow::addRecords);
    refreshCounters();
    // Counts and times the monitor writes itself.
    for (QWidget* w : {static_cast<QWidget*>(shown_), static_cast<QWidget*>(meanReply_),
                       static_cast<QWidget*>(worstReply_)})
        LocalizerAdapter::markRunTime(w);
    Localization::windowBuilt(this);
}

TrafficWindow::~TrafficWindow() {
    if (listening_)
        tap_.unlisten();
}

void TrafficWindow::showMonitor() {
    show();
    raise();
    activateWindow();
}

bool TrafficWindow::paused() const {
    return pause_->isChecked();
}

void TrafficWindow::showEvent(QShowEvent* event) {
    if (!listening_) {
        // What the table holds now is what a write replaces.
        decoder_ = std::make_unique<TrafficDecoder>(table_);
        tap_.listen();
        listening_ = true;
    }
    QWidget::showEvent(event);
}

void TrafficWindow::hideEvent(QHideEvent* event) {
    // A window that is minimised keeps listening; a closed one costs nothing.
    if (listening_ && !isMinimized()) {
        addRecords(tap_.drain());
        tap_.unlisten();
        listening_ = false;
    }
    QWidget::hideEvent(event);
}

void TrafficWindow::addRecords(const QList<TrafficRecord>& records) {
    if (records.isEmpty())
        return;
    if (!decoder_)
        decoder_ = std::make_unique<TrafficDecoder>(table_);
    QList<TrafficModel::Row> rows;
    rows.reserve(records.size());
    for (const TrafficRecord& r : records) {
        counters_.add(r);
        rows.append(TrafficModel::Row{r, decoder_->decode(r)});
    }
    if (paused()) {
        held_ += rows;
        // Never more than the table would keep.
        if (held_.size() > TrafficModel::kMaxRows)
            held_.erase(held_.begin(), held_.begin() + (held_.size() - TrafficModel::kMaxRows));
    } else {
        model_.append(rows);
        followLive();
    }
    refreshCounters();
}

void TrafficWindow::flushHeld() {
    if (held_.isEmpty())
        return;
    model_.append(held_);
    held_.clear();
    followLive();
}

void TrafficWindow::showDetail(const QModelIndex& index) {
    if (!index.isValid()) {
        detail_->clear();
        return;
    }
    const int source = filter_.mapToSource(index).row();
    if (source < 0 || source >= model_.rowCount())
        return;
    const TrafficModel::Row& row = model_.row(source);
    QStringList text;
    text << tr_("Request  %1   (%2, %3)")
                .arg(QString::fromLatin1(row.record.request), row.decoded.meaning,
                     TrafficDecoder::outcomeText(row.record));
    for (const TrafficLine& l : row.record.lines) {
        QString kind = TrafficLine::kindName(l.kind);
        if (l.kind == TrafficLine::Kind::Damaged)
            kind += QStringLiteral(" (") + stageText(l.stage) + QLatin1Char(')');
        text << tr_("Reply    %1   %2").arg(QString::fromLatin1(l.text), kind);
    }
    const QString details = row.decoded.details();
    if (!details.isEmpty())
        text << tr_("Entries  %1").arg(details);
    detail_->setPlainText(text.join(QLatin1Char('\n')));
}

void TrafficWindow::followLive() {
    if (!paused())
        tableView_->scrollToBottom();
}

void TrafficWindow::clearAll() {
    model_.clear();
    detail_->clear();
    held_.clear();
    counters_ = TrafficCounters();
    refreshCounters();
}

void TrafficWindow::retranslate() {
    filterBox_->setItemText(0, tr_("All exchanges"));
    filterBox_->setItemText(1, tr_("Writes and commands"));
    filterBox_->setItemText(2, tr_("Problems only"));
    pause_->setText(pause_->isChecked() ? tr_("Resume") : tr_("Pause"));
    Q_EMIT model_.headerDataChanged(Qt::Horizontal, 0, TrafficModel::Columns - 1);
    refreshCounters();
}

void TrafficWindow::refreshCounters() {
    exchanges_->setText(QString::number(counters_.exchanges));
    retries_->setText(QString::number(counters_.retries));
    damaged_->setText(QString::number(counters_.damaged));
    refused_->setText(QString::number(counters_.refused));
    timeouts_->setText(QString::number(counters_.timeouts));
    meanReply_->setText(tr_("%1 ms").arg(counters_.meanReplyMs(), 0, 'f', 1));
    worstReply_->setText(tr_("%1 ms").arg(counters_.replyMsWorst));
    QString text = tr_("%1 of %2 exchanges shown").arg(filter_.rowCount()).arg(model_.rowCount());
    if (paused())
        text += QStringLiteral(" · ") + tr_("paused, %1 waiting").arg(held_.size());
    if (tap_.dropped() > 0)
        text += QStringLiteral(" · ") + tr_("%1 records lost to a full buffer").arg(tap_.dropped());
    shown_->setText(text);
}

bool TrafficWindow::exportCsv(const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QStringList header;
    for (int c = 0; c < TrafficModel::Columns; ++c)
        header << csvField(model_.headerData(c, Qt::Horizontal).toString());
    QByteArray out = header.join(QLatin1Char(',')).toLocal8Bit() + "\r\n";
    for (int r = 0; r < filter_.rowCount(); ++r) {
        const int source = filter_.mapToSource(filter_.index(r, 0)).row();
        QStringList fields;
        for (int c = 0; c < TrafficModel::Columns; ++c)
            fields << csvField(model_.text(source, c));
        out += fields.join(QLatin1Char(',')).toLocal8Bit() + "\r\n";
    }
    if (file.write(out) != out.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void TrafficWindow::exportClicked() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr_("Export traffic"), QStringLiteral("traffic.csv"), tr_("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportCsv(path, &error))
        TFbox::domanda(this, tr_("The traffic could not be saved to %1: %2").arg(path, error),
                       TFbox::Error);
}

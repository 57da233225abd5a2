#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>
#include <deque>
#include <memory>

#include "link/trafficrecord.h"
#include "session/trafficdecoder.h"

class ParameterTable;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class TrafficTap;

// The exchanges the monitor has seen, newest last, at most kMaxRows of them.
class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Letter, Meaning, Entries, Result, Sends, Wait, Replies, Request, Columns };
    static constexpr int kMaxRows = 5000;

    struct Row {
        TrafficRecord record;
        DecodedTraffic decoded;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void append(const QList<Row>& rows);
    void clear();
    const Row& row(int index) const { return rows_.at(static_cast<size_t>(index)); }
    // The text of a cell as the table shows it.
    QString text(int row, int column) const;

private:
    std::deque<Row> rows_;
};

// All, writes and commands, or problems only.
class TrafficFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    enum Mode { All = 0, Writes = 1, Problems = 2 };
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setMode(Mode mode);
    Mode mode() const { return mode_; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    Mode mode_ = All;
};

// "Traffic": every exchange with the instrument as it happens, decoded by
// entry name against the definition in use. It listens on the link's tap
// only while it is shown, so a closed monitor costs the link nothing.
class TrafficWindow : public QWidget {
    Q_OBJECT
public:
    TrafficWindow(TrafficTap& tap, const ParameterTable& table, QWidget* owner = nullptr);
    ~TrafficWindow() override;

    void showMonitor();
    // The texts the monitor writes itself, in the language now loaded.
    void retranslate();
    // Writes the rows the filter shows to a CSV file, whole or not at all.
    bool exportCsv(const QString& path, QString* error = nullptr);

    const TrafficCounters& counters() const { return counters_; }
    TrafficModel& model() { return model_; }
    TrafficFilter& filter() { return filter_; }
    bool paused() const;
    // Takes records as the tap delivers them (public for tests that feed
    // records of their own).
    void addRecords(const QList<TrafficRecord>& records);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void clearAll();
    void flushHeld();
    void refreshCounters();
    void exportClicked();
    void followLive();
    void showDetail(const QModelIndex& index);

    TrafficTap& tap_;
    const ParameterTable& table_;
    std::unique_ptr<TrafficDecoder> decoder_;
    bool listening_ = false;
    TrafficModel model_;
    TrafficFilter filter_;
    TrafficCounters counters_;
    // Decoded while paused, shown on resume.
    QList<TrafficModel::Row> held_;

    QTableView* tableView_;
    QComboBox* filterBox_;
    QPushButton* pause_;
    QPushButton* clear_;
    QPushButton* export_;
    QLabel* exchanges_;
    QLabel* retries_;
    QLabel* damaged_;
    QLabel* refused_;
    QLabel* timeouts_;
    QLabel* meanReply_;
    QLabel* worstReply_;
    QLabel* shown_;
    QPlainTextEdit* detail_;
};

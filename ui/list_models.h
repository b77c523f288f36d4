// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt models that mirror the pending-downloads queue and the history buffers through their listeners.

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QString>
#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <vector>

#include "session/pending_queue.h"
#include "store/history_buffer.h"
#include "ui/event_inbox.h"

namespace fk {

// The rows both models keep: the container's text and what is shown of it, changed only through the
// begin/end calls a view needs. Base is the Qt model class, Row holds a `raw` string.
template <class Base, class Row>
class MirroredRows : public Base {
 public:
  using Base::Base;
  // The row's text exactly as the container holds it; empty past the end.
  std::string raw_row(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return {};
    return rows_[static_cast<std::size_t>(row)].raw;
  }

 protected:
  // Consecutive inserts at at, at + 1, ... (an overview scan appending) become one change for the view;
  // returns the index of the first event after the run.
  template <class Event, class Make>
  std::size_t insert_run(std::vector<Event>& events, std::size_t i, Make make) {
    const auto inserted = events[i].kind;
    const std::size_t at = std::min(events[i].index, rows_.size());  // clamped like the container
    std::vector<Row> run;
    for (std::size_t next = events[i].index; i < events.size() && events[i].kind == inserted &&
                                             events[i].index == next;
         ++i, ++next)
      run.push_back(make(events[i]));
    const int first = static_cast<int>(at);
    this->beginInsertRows(QModelIndex(), first, first + static_cast<int>(run.size()) - 1);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(run.begin()),
                 std::make_move_iterator(run.end()));
    this->endInsertRows();
    return i;
  }
  void remove_row(std::size_t index) {
    if (index >= rows_.size()) return;
    const int r = static_cast<int>(index);
    this->beginRemoveRows(QModelIndex(), r, r);
    rows_.erase(rows_.begin() + r);
    this->endRemoveRows();
  }
  void reset_rows(std::vector<Row> rows) {
    this->beginResetModel();
    rows_ = std::move(rows);
    this->endResetModel();
  }

  std::vector<Row> rows_;
};

// The pending list as four columns: Article, Author, Lines, Subject. Attach it while no other thread
// changes the queue (it starts from the queue's rows); afterwards it follows every change, applied in
// order on the GUI thread. The queue must outlive the model.
struct PendingRow {
  std::string raw;
  std::array<QString, 4> fields;
};

class PendingModel : public MirroredRows<QAbstractTableModel, PendingRow> {
  Q_OBJECT
 public:
  explicit PendingModel(PendingQueue& queue, QObject* parent = nullptr);
  ~PendingModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // Applies the changes heard so far. Runs by itself on the GUI thread; tests may call it directly.
  void apply_events();

 private:
  static PendingRow make_row(std::string raw);

  PendingQueue& queue_;
  EventInbox<PendingEvent> inbox_;
};

// One history buffer, newest first, never re-sorted. Same attachment rule as PendingModel.
struct HistoryRow {
  std::string raw;
  QString shown;
};

class HistoryModel : public MirroredRows<QAbstractListModel, HistoryRow> {
  Q_OBJECT
 public:
  explicit HistoryModel(HistoryBuffer& buffer, QObject* parent = nullptr);
  ~HistoryModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  void apply_events();

 private:
  static HistoryRow make_row(std::string raw);

  HistoryBuffer& buffer_;
  EventInbox<HistoryEvent> inbox_;
};

}  // namespace fk

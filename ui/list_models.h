#pragma once
// Qt models that mirror the pending-downloads queue and the history buffers through their listeners.

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "session/pending_queue.h"
#include "store/history_buffer.h"
#include "ui/event_inbox.h"

namespace fk {

// The pending list as four columns: Article, Author, Lines, Subject. Attach it while no other thread
// changes the queue (it starts from the queue's rows); afterwards it follows every change, applied in
// order on the GUI thread. The queue must outlive the model.
class PendingModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit PendingModel(PendingQueue& queue, QObject* parent = nullptr);
  ~PendingModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // The row's text exactly as the queue holds it (tabs included); empty past the end.
  std::string raw_row(int row) const;
  // Applies the changes heard so far. Runs by itself on the GUI thread; tests may call it directly.
  void apply_events();

 private:
  struct Row {
    std::string raw;
    std::array<QString, 4> fields;
  };
  static Row make_row(std::string raw);
  void insert_run(std::size_t at, std::vector<Row> run);

  PendingQueue& queue_;
  EventInbox<PendingEvent> inbox_;
  std::vector<Row> rows_;
};

// One history buffer, newest first, never re-sorted. Same attachment rule as PendingModel.
class HistoryModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit HistoryModel(HistoryBuffer& buffer, QObject* parent = nullptr);
  ~HistoryModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  std::string raw_row(int row) const;
  void apply_events();

 private:
  struct Row {
    std::string raw;
    QString shown;
  };
  static Row make_row(std::string raw);
  void insert_run(std::size_t at, std::vector<Row> run);

  HistoryBuffer& buffer_;
  EventInbox<HistoryEvent> inbox_;
  std::vector<Row> rows_;
};

}  // namespace fk

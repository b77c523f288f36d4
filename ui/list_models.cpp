// Qt models that mirror the pending-downloads queue and the history buffers through their listeners.
#include "ui/list_models.h"

#include <QMetaObject>
#include <algorithm>
#include <iterator>

#include "ui/qt_text.h"

namespace fk {

namespace {

bool valid_row(const QModelIndex& index, std::size_t count) {
  return index.isValid() && index.row() >= 0 && static_cast<std::size_t>(index.row()) < count;
}

}  // namespace

// ---- PendingModel

PendingModel::PendingModel(PendingQueue& queue, QObject* parent)
    : QAbstractTableModel(parent), queue_(queue), inbox_([this] {
        QMetaObject::invokeMethod(
            this, [this] { apply_events(); }, Qt::QueuedConnection);
      }) {
  for (auto& row : queue_.rows()) rows_.push_back(make_row(std::move(row)));
  queue_.set_listener([this](const PendingEvent& e) { inbox_.push(e); });
}

PendingModel::~PendingModel() {
  queue_.set_listener({});
}

PendingModel::Row PendingModel::make_row(std::string raw) {
  Row row;
  std::string_view rest(raw);
  for (std::size_t i = 0; i < 3; ++i) {
    auto tab = rest.find('\t');
    if (tab == std::string_view::npos) {
      row.fields[i] = to_qstring(rest);
      rest = {};
      break;
    }
    row.fields[i] = to_qstring(rest.substr(0, tab));
    rest.remove_prefix(tab + 1);
  }
  row.fields[3] = to_qstring(rest);
  row.raw = std::move(raw);
  return row;
}

int PendingModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PendingModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 4;
}

QVariant PendingModel::data(const QModelIndex& index, int role) const {
  if (!valid_row(index, rows_.size()) || index.column() < 0 || index.column() > 3) return {};
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
    return row.fields[static_cast<std::size_t>(index.column())];
  return {};
}

QVariant PendingModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const std::array<const char*, 4> headings{"Article", "Author", "Lines", "Subject"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3) return {};
  return QString::fromLatin1(headings[static_cast<std::size_t>(section)]);
}

std::string PendingModel::raw_row(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return {};
  return rows_[static_cast<std::size_t>(row)].raw;
}

void PendingModel::apply_events() {
  std::vector<PendingEvent> events = inbox_.take();
  for (std::size_t i = 0; i < events.size();) {
    PendingEvent& e = events[i];
    switch (e.kind) {
      case PendingEvent::Kind::Inserted: {
        // Consecutive inserts (an overview scan appending) become one change for the view.
        std::vector<Row> run;
        const std::size_t at = e.index;
        std::size_t next = at;
        while (i < events.size() && events[i].kind == PendingEvent::Kind::Inserted &&
               events[i].index == next) {
          run.push_back(make_row(std::move(events[i].row)));
          ++next;
          ++i;
        }
        insert_run(at, std::move(run));
        continue;
      }
      case PendingEvent::Kind::Removed:
        if (e.index < rows_.size()) {
          const int r = static_cast<int>(e.index);
          beginRemoveRows(QModelIndex(), r, r);
          rows_.erase(rows_.begin() + r);
          endRemoveRows();
        }
        break;
      case PendingEvent::Kind::Cleared:
        if (!rows_.empty()) {
          beginRemoveRows(QModelIndex(), 0, static_cast<int>(rows_.size()) - 1);
          rows_.clear();
          endRemoveRows();
        }
        break;
    }
    ++i;
  }
}

void PendingModel::insert_run(std::size_t at, std::vector<Row> run) {
  if (run.empty()) return;
  at = std::min(at, rows_.size());  // clamped like the container
  const int first = static_cast<int>(at);
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(run.size()) - 1);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(run.begin()),
               std::make_move_iterator(run.end()));
  endInsertRows();
}

// ---- HistoryModel

HistoryModel::HistoryModel(HistoryBuffer& buffer, QObject* parent)
    : QAbstractListModel(parent), buffer_(buffer), inbox_([this] {
        QMetaObject::invokeMethod(
            this, [this] { apply_events(); }, Qt::QueuedConnection);
      }) {
  for (auto& entry : buffer_.entries()) rows_.push_back(make_row(std::move(entry)));
  buffer_.set_listener([this](const HistoryEvent& e) { inbox_.push(e); });
}

HistoryModel::~HistoryModel() {
  buffer_.set_listener({});
}

HistoryModel::Row HistoryModel::make_row(std::string raw) {
  Row row;
  row.shown = to_qstring(raw);
  row.raw = std::move(raw);
  return row;
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
  if (!valid_row(index, rows_.size())) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
    return rows_[static_cast<std::size_t>(index.row())].shown;
  return {};
}

std::string HistoryModel::raw_row(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return {};
  return rows_[static_cast<std::size_t>(row)].raw;
}

void HistoryModel::apply_events() {
  std::vector<HistoryEvent> events = inbox_.take();
  for (std::size_t i = 0; i < events.size();) {
    HistoryEvent& e = events[i];
    switch (e.kind) {
      case HistoryEvent::Kind::Reset: {
        beginResetModel();
        rows_.clear();
        rows_.reserve(e.all.size());
        for (auto& entry : e.all) rows_.push_back(make_row(std::move(entry)));
        endResetModel();
        break;
      }
      case HistoryEvent::Kind::Inserted: {
        std::vector<Row> run;
        const std::size_t at = e.index;
        std::size_t next = at;
        while (i < events.size() && events[i].kind == HistoryEvent::Kind::Inserted &&
               events[i].index == next) {
          run.push_back(make_row(std::move(events[i].text)));
          ++next;
          ++i;
        }
        insert_run(at, std::move(run));
        continue;
      }
      case HistoryEvent::Kind::Removed:
        if (e.index < rows_.size()) {
          const int r = static_cast<int>(e.index);
          beginRemoveRows(QModelIndex(), r, r);
          rows_.erase(rows_.begin() + r);
          endRemoveRows();
        }
        break;
    }
    ++i;
  }
}

void HistoryModel::insert_run(std::size_t at, std::vector<Row> run) {
  if (run.empty()) return;
  at = std::min(at, rows_.size());  // clamped like the container
  const int first = static_cast<int>(at);
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(run.size()) - 1);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(run.begin()),
               std::make_move_iterator(run.end()));
  endInsertRows();
}

}  // namespace fk

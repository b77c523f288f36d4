// SPDX-License-Identifier: GPL-3.0-or-later
// Qt models that mirror the pending-downloads queue and the history buffers through their listeners.
#include "ui/list_models.h"

#include <QMetaObject>
#include <algorithm>

#include "ui/qt_text.h"

namespace fk {

namespace {

bool valid_row(const QModelIndex& index, std::size_t count) {
  return index.isValid() && index.row() >= 0 && static_cast<std::size_t>(index.row()) < count;
}

}  // namespace

// ---- PendingModel

PendingModel::PendingModel(PendingQueue& queue, QObject* parent)
    : MirroredRows(parent), queue_(queue), inbox_([this] {
        QMetaObject::invokeMethod(
            this, [this] { apply_events(); }, Qt::QueuedConnection);
      }) {
  for (auto& row : queue_.rows()) rows_.push_back(make_row(std::move(row)));
  queue_.set_listener([this](const PendingEvent& e) { inbox_.push(e); });
}

PendingModel::~PendingModel() {
  queue_.set_listener({});
}

PendingRow PendingModel::make_row(std::string raw) {
  PendingRow row;
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
  const PendingRow& row = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
    return row.fields[static_cast<std::size_t>(index.column())];
  if (role == Qt::TextAlignmentRole && (index.column() == 0 || index.column() == 2))
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);  // article numbers and line counts
  return {};
}

QVariant PendingModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const std::array<const char*, 4> headings{"Article", "Author", "Lines", "Subject"};
  if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && (section == 0 || section == 2))
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3) return {};
  return QString::fromLatin1(headings[static_cast<std::size_t>(section)]);
}

void PendingModel::apply_events() {
  std::vector<PendingEvent> events = inbox_.take();
  for (std::size_t i = 0; i < events.size();) {
    PendingEvent& e = events[i];
    // A row copied up and its old place removed is a move: shown as one, the selection goes with it.
    if (e.kind == PendingEvent::Kind::Inserted && i + 1 < events.size() &&
        events[i + 1].kind == PendingEvent::Kind::Removed && events[i + 1].index > e.index + 1 &&
        events[i + 1].index - 1 < rows_.size() && e.index < rows_.size() &&
        rows_[events[i + 1].index - 1].raw == e.row) {
      const int from = static_cast<int>(events[i + 1].index - 1), to = static_cast<int>(e.index);
      beginMoveRows(QModelIndex(), from, from, QModelIndex(), to);
      std::rotate(rows_.begin() + to, rows_.begin() + from, rows_.begin() + from + 1);
      endMoveRows();
      i += 2;
      continue;
    }
    switch (e.kind) {
      case PendingEvent::Kind::Inserted:
        i = insert_run(events, i, [](PendingEvent& ev) { return make_row(std::move(ev.row)); });
        continue;
      case PendingEvent::Kind::Removed: remove_row(e.index); break;
      case PendingEvent::Kind::Cleared:
        if (!rows_.empty()) reset_rows({});
        break;
    }
    ++i;
  }
}

// ---- HistoryModel

HistoryModel::HistoryModel(HistoryBuffer& buffer, QObject* parent)
    : MirroredRows(parent), buffer_(buffer), inbox_([this] {
        QMetaObject::invokeMethod(
            this, [this] { apply_events(); }, Qt::QueuedConnection);
      }) {
  for (auto& entry : buffer_.entries()) rows_.push_back(make_row(std::move(entry)));
  buffer_.set_listener([this](const HistoryEvent& e) { inbox_.push(e); });
}

HistoryModel::~HistoryModel() {
  buffer_.set_listener({});
}

HistoryRow HistoryModel::make_row(std::string raw) {
  HistoryRow row;
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

void HistoryModel::apply_events() {
  std::vector<HistoryEvent> events = inbox_.take();
  for (std::size_t i = 0; i < events.size();) {
    HistoryEvent& e = events[i];
    switch (e.kind) {
      case HistoryEvent::Kind::Reset: {
        std::vector<HistoryRow> rows;
        rows.reserve(e.all.size());
        for (auto& entry : e.all) rows.push_back(make_row(std::move(entry)));
        reset_rows(std::move(rows));
        break;
      }
      case HistoryEvent::Kind::Inserted:
        i = insert_run(events, i, [](HistoryEvent& ev) { return make_row(std::move(ev.text)); });
        continue;
      case HistoryEvent::Kind::Removed: remove_row(e.index); break;
    }
    ++i;
  }
}

}  // namespace fk

// SPDX-License-Identifier: GPL-3.0-or-later
// The gallery's list of pictures and the folder reader behind it.
#include "ui/picture_model.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QLocale>
#include <algorithm>

#include "thumbs/thumbnail_loader.h"

namespace fk {

namespace {

// Thumbnails kept in memory: several screens' worth, about 50 MB at most.
constexpr std::size_t kThumbsInMemory = 1000;
// More changes than this at once reset the list instead of moving rows one by one.
constexpr std::size_t kMaxRowMoves = 100;

bool newer_first(const PictureModel::Entry& a, const PictureModel::Entry& b) {
  if (a.mtime_ns != b.mtime_ns) return a.mtime_ns > b.mtime_ns;
  if (a.folder != b.folder) return a.folder < b.folder;
  return a.name < b.name;
}

// Group order: the folder's label, then newest first within it.
bool folder_label_less(const QString& a, const QString& b) {
  const int c = QString::compare(a, b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

bool same_entry(const PictureModel::Entry& a, const PictureModel::Entry& b) {
  return a.folder == b.folder && a.mtime_ns == b.mtime_ns && a.size == b.size && a.name == b.name;
}

}  // namespace

// ---- FolderScanner

FolderScanner::FolderScanner(QString root, QObject* parent) : QObject(parent), root_(std::move(root)) {
  thread_ = std::thread([this] { work(); });
}

FolderScanner::~FolderScanner() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void FolderScanner::scan(const QString& dir) {
  {
    std::lock_guard lock(mutex_);
    for (const Job& job : jobs_)
      if (!job.batch && job.dirs.front() == dir) return;
    jobs_.push_back(Job{QStringList{dir}, false});
  }
  wake_.notify_one();
}

void FolderScanner::scan_batch(const QStringList& dirs) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(Job{dirs, true});
  }
  wake_.notify_one();
}

FolderScanner::Result FolderScanner::read(const QString& dir) const {
  Result r;
  r.dir = dir;
  const std::string path = QFile::encodeName(root_ + QLatin1Char('/') + dir).toStdString();
  r.readable = list_folder_files(path, r.files);
  if (dir == QLatin1String("pictures"))
    for (const std::string& name : list_sub_folders(path)) r.sub_folders << QFile::decodeName(name.c_str());
  return r;
}

void FolderScanner::work() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    if (!job.batch) {
      Result r = read(job.dirs.front());
      QMetaObject::invokeMethod(
          this, [this, r = std::move(r)] { emit scanned(r); }, Qt::QueuedConnection);
    } else {
      std::vector<Result> all;
      for (const QString& dir : job.dirs) {
        all.push_back(read(dir));
        // The group folders are known only once pictures/ itself is read.
        if (dir == QLatin1String("pictures"))
          for (const QString& sub : all.back().sub_folders) all.push_back(read(QStringLiteral("pictures/") + sub));
      }
      QMetaObject::invokeMethod(
          this, [this, all = std::move(all)] { emit batch_scanned(all); }, Qt::QueuedConnection);
    }
  }
}

// ---- PictureModel

PictureModel::PictureModel(const QString& root, ThumbnailLoader& loader, QObject* parent)
    : QAbstractListModel(parent), root_(QDir(root).absolutePath()), loader_(loader) {
  scanner_ = new FolderScanner(root_, this);
  connect(scanner_, &FolderScanner::scanned, this, &PictureModel::apply);
  connect(scanner_, &FolderScanner::batch_scanned, this, &PictureModel::apply_batch);
  watcher_ = new QFileSystemWatcher(this);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &PictureModel::on_directory_changed);
  connect(&loader_, &ThumbnailLoader::thumbnail_ready, this, &PictureModel::thumbnail_ready);
  settle_.setSingleShot(true);
  settle_.setInterval(100);
  connect(&settle_, &QTimer::timeout, this, [this] {
    for (const QString& dir : std::as_const(changed_dirs_)) {
      scanner_->scan(dir);
      recheck_dirs_.insert(dir);
    }
    changed_dirs_.clear();
    recheck_.start();
  });
  // A picture is written in place by the decoder: read its folder again once the writing is done.
  recheck_.setSingleShot(true);
  recheck_.setInterval(2500);
  connect(&recheck_, &QTimer::timeout, this, [this] {
    for (const QString& dir : std::as_const(recheck_dirs_)) scanner_->scan(dir);
    recheck_dirs_.clear();
  });
}

PictureModel::~PictureModel() = default;

void PictureModel::open() {
  // The working folder is watched too, for pictures/ and unknown/ made after the gallery opened.
  watcher_->addPath(root_);
  watch(QStringLiteral("pictures"));
  watch(QStringLiteral("unknown"));
  scanner_->scan_batch({QStringLiteral("pictures"), QStringLiteral("unknown")});
}

void PictureModel::watch(const QString& dir) {
  const QString path = root_ + QLatin1Char('/') + dir;
  if (!watcher_->directories().contains(path) && QFileInfo(path).isDir()) watcher_->addPath(path);
}

void PictureModel::on_directory_changed(const QString& absolute_dir) {
  QString dir = QDir(root_).relativeFilePath(absolute_dir);
  if (dir == QLatin1String(".")) {
    // The working folder changes with every article (temp.uue); only a new pictures/ or unknown/ matters.
    for (const QString& sub : {QStringLiteral("pictures"), QStringLiteral("unknown")}) {
      if (watcher_->directories().contains(root_ + QLatin1Char('/') + sub)) continue;
      watch(sub);
      changed_dirs_.insert(sub);
    }
    if (changed_dirs_.isEmpty()) return;
  } else {
    changed_dirs_.insert(dir);
  }
  if (!settle_.isActive()) settle_.start();
}

void PictureModel::rescan(const QString& dir) {
  scanner_->scan(dir);
}

int PictureModel::folder_index(const QString& dir, FolderKind kind) {
  for (std::size_t i = 0; i < folders_.size(); ++i)
    if (folders_[i].dir == dir) return static_cast<int>(i);
  Folder f;
  f.dir = dir;
  f.kind = kind;
  f.label = kind == FolderKind::Unknown ? QStringLiteral("unknown/")
            : kind == FolderKind::Loose ? QStringLiteral("(no group)")
                                        : dir.mid(int(qstrlen("pictures/")));
  folders_.push_back(f);
  files_.emplace_back();
  return static_cast<int>(folders_.size() - 1);
}

bool PictureModel::apply_one(const FolderScanner::Result& r) {
  const FolderKind kind = r.dir == QLatin1String("unknown")    ? FolderKind::Unknown
                          : r.dir == QLatin1String("pictures") ? FolderKind::Loose
                                                               : FolderKind::Group;
  const bool folder_gone = kind == FolderKind::Loose && update_sub_folders(r.sub_folders);
  // Nothing to show for a folder that is not there and never was.
  if (!r.readable && r.files.empty()) {
    for (std::size_t i = 0; i < folders_.size(); ++i) {
      if (folders_[i].dir != r.dir) continue;
      folders_[i].present = false;
      folders_[i].count = 0;
      files_[i].clear();
      return true;
    }
    return false;
  }
  const int index = folder_index(r.dir, kind);
  if (kind == FolderKind::Group) watch(r.dir);
  std::vector<Entry> list;
  list.reserve(r.files.size());
  for (const FolderFile& f : r.files)
    list.push_back({index, QFile::decodeName(f.name.c_str()), f.mtime_ns, f.size});
  // Kept in name order, so that a reading that found nothing new costs no rebuild of the whole list.
  std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  Folder& folder = folders_[static_cast<std::size_t>(index)];
  std::vector<Entry>& kept = files_[static_cast<std::size_t>(index)];
  const bool same = folder.present && kept.size() == list.size() &&
                    std::equal(kept.begin(), kept.end(), list.begin(), same_entry);
  kept = std::move(list);
  folder.count = static_cast<int>(kept.size());
  folder.present = true;
  return !same || folder_gone;
}

bool PictureModel::update_sub_folders(const QStringList& names) {
  bool gone = false;
  for (const QString& name : names) {
    const QString dir = QStringLiteral("pictures/") + name;
    const bool known = std::any_of(folders_.begin(), folders_.end(), [&](const Folder& f) { return f.dir == dir; });
    // A new group folder: watch it and read it (it may already hold pictures).
    if (!known && loaded_) {
      watch(dir);
      scanner_->scan(dir);
    }
  }
  for (std::size_t i = 0; i < folders_.size(); ++i) {
    if (folders_[i].kind != FolderKind::Group || !folders_[i].present) continue;
    if (!names.contains(folders_[i].dir.mid(int(qstrlen("pictures/"))))) {
      folders_[i].present = false;
      folders_[i].count = 0;
      files_[i].clear();
      gone = true;
    }
  }
  return gone;
}

void PictureModel::apply(const FolderScanner::Result& result) {
  if (!apply_one(result)) return;
  rebuild(false);
  emit folders_changed();
  emit refreshed();
}

void PictureModel::apply_batch(const std::vector<FolderScanner::Result>& results) {
  for (const auto& r : results) apply_one(r);
  loaded_ = true;
  rebuild(true);
  emit folders_changed();
  emit refreshed();
}

int PictureModel::group_total() const {
  int total = 0;
  for (const Folder& f : folders_)
    if (f.kind != FolderKind::Unknown) total += f.count;
  return total;
}

void PictureModel::show_folder(const QString& dir) {
  if (dir == folder_filter_) return;
  folder_filter_ = dir;
  rebuild(true);
}

void PictureModel::set_name_filter(const QString& text) {
  if (text == name_filter_) return;
  name_filter_ = text;
  name_match_ = GroupFilter(text.toStdString());
  rebuild(true);
}

void PictureModel::show_duplicates(const std::vector<std::vector<QString>>& groups) {
  dup_rank_.clear();
  dup_group_.clear();
  dup_keep_.clear();
  dup_active_ = true;
  int rank = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (const QString& path : groups[g]) {
      dup_rank_.insert(path, rank++);
      dup_group_.insert(path, static_cast<int>(g) + 1);
    }
    if (!groups[g].empty()) dup_keep_.insert(groups[g].front());
  }
  rebuild(true);
}

void PictureModel::clear_duplicates() {
  if (!dup_active_) return;
  dup_active_ = false;
  dup_rank_.clear();
  dup_group_.clear();
  dup_keep_.clear();
  rebuild(true);
}

bool PictureModel::is_spare_copy(int row) const {
  const QString path = relative_path(row);
  return dup_group_.contains(path) && !dup_keep_.contains(path);
}

std::vector<PictureModel::Known> PictureModel::known_pictures() const {
  std::vector<Known> out;
  for (std::size_t i = 0; i < folders_.size(); ++i) {
    if (folders_[i].kind == FolderKind::Unknown) continue;
    for (const Entry& e : files_[i]) out.push_back({folders_[i].dir + QLatin1Char('/') + e.name, e.size, e.mtime_ns});
  }
  return out;
}

void PictureModel::set_sort(SortKey key) {
  if (key == sort_) return;
  sort_ = key;
  rebuild(true);
}

bool PictureModel::before(const Entry& a, const Entry& b) const {
  if (dup_active_) {
    const int ra = dup_rank_.value(folders_[static_cast<std::size_t>(a.folder)].dir + QLatin1Char('/') + a.name);
    const int rb = dup_rank_.value(folders_[static_cast<std::size_t>(b.folder)].dir + QLatin1Char('/') + b.name);
    if (ra != rb) return ra < rb;
  }
  switch (sort_) {
    case SortKey::Date: break;
    case SortKey::Name: {
      const int c = QString::compare(a.name, b.name, Qt::CaseInsensitive);
      if (c != 0) return c < 0;
      break;
    }
    case SortKey::Size:
      if (a.size != b.size) return a.size > b.size;
      break;
    case SortKey::Group:
      if (a.folder != b.folder) {
        const QString& la = folders_[static_cast<std::size_t>(a.folder)].label;
        const QString& lb = folders_[static_cast<std::size_t>(b.folder)].label;
        if (la != lb) return folder_label_less(la, lb);
      }
      break;
  }
  return newer_first(a, b);
}

void PictureModel::rebuild(bool force_reset) {
  std::vector<Entry> next;
  for (std::size_t i = 0; i < folders_.size(); ++i) {
    const Folder& f = folders_[i];
    const bool wanted = dup_active_ ? f.kind != FolderKind::Unknown
                        : folder_filter_.isEmpty() ? f.kind != FolderKind::Unknown
                                                   : f.dir == folder_filter_;
    if (!wanted) continue;
    for (const Entry& e : files_[i]) {
      if (dup_active_ && !dup_rank_.contains(f.dir + QLatin1Char('/') + e.name)) continue;
      if (name_filter_.isEmpty() || name_match_.matches(e.name.toStdString())) next.push_back(e);
    }
  }
  std::sort(next.begin(), next.end(), [this](const Entry& a, const Entry& b) { return before(a, b); });
  rows_.clear();

  // Walks the merge of two sorted lists, stopping once it has needed more than `limit` row moves.
  auto walk = [&](const std::vector<Entry>& old, std::size_t limit, auto&& on_remove, auto&& on_insert) {
    std::size_t i = 0, j = 0, row = 0, moves = 0;
    while ((i < old.size() || j < next.size()) && moves <= limit) {
      if (i < old.size() && j < next.size() && same_entry(old[i], next[j])) {
        ++i, ++j, ++row;
      } else if (j == next.size() || (i < old.size() && !before(next[j], old[i]))) {
        on_remove(row);
        ++i, ++moves;
      } else {
        on_insert(row, next[j]);
        ++j, ++row, ++moves;
      }
    }
    return moves;
  };
  // Many row moves are cheaper as a reset.
  if (!force_reset &&
      walk(shown_, kMaxRowMoves, [](std::size_t) {}, [](std::size_t, const Entry&) {}) <= kMaxRowMoves) {
    const std::vector<Entry> old = shown_;
    walk(
        old, old.size() + next.size(),
        [&](std::size_t row) {
          beginRemoveRows({}, int(row), int(row));
          shown_.erase(shown_.begin() + static_cast<std::ptrdiff_t>(row));
          endRemoveRows();
        },
        [&](std::size_t row, const Entry& e) {
          beginInsertRows({}, int(row), int(row));
          shown_.insert(shown_.begin() + static_cast<std::ptrdiff_t>(row), e);
          endInsertRows();
        });
    return;
  }
  loader_.clear_queue();
  beginResetModel();
  shown_ = std::move(next);
  endResetModel();
}

int PictureModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

const PictureModel::Entry* PictureModel::entry(int row) const {
  if (row < 0 || row >= static_cast<int>(shown_.size())) return nullptr;
  return &shown_[static_cast<std::size_t>(row)];
}

QString PictureModel::relative_path(int row) const {
  const Entry* e = entry(row);
  if (!e) return {};
  return folders_[static_cast<std::size_t>(e->folder)].dir + QLatin1Char('/') + e->name;
}

QString PictureModel::absolute_path(int row) const {
  const Entry* e = entry(row);
  return e ? path_of(*e) : QString();
}

QString PictureModel::path_of(const Entry& e) const {
  return root_ + QLatin1Char('/') + folders_[static_cast<std::size_t>(e.folder)].dir + QLatin1Char('/') + e.name;
}

QString PictureModel::key_of(const Entry& e) const {
  return folders_[static_cast<std::size_t>(e.folder)].dir + QLatin1Char('/') + e.name + QLatin1Char('\n') +
         QString::number(e.mtime_ns) + QLatin1Char(':') + QString::number(e.size);
}

int PictureModel::row_of(const QString& key) const {
  if (rows_.isEmpty())
    for (std::size_t i = 0; i < shown_.size(); ++i) rows_.insert(key_of(shown_[i]), static_cast<int>(i));
  return rows_.value(key, -1);
}

QVariant PictureModel::data(const QModelIndex& index, int role) const {
  const Entry* e = entry(index.row());
  if (!e || index.column() != 0) return {};
  const Folder& folder = folders_[static_cast<std::size_t>(e->folder)];
  switch (role) {
    case Qt::DisplayRole: return e->name;
    case DateRole: return QDateTime::fromMSecsSinceEpoch(e->mtime_ns / 1000000);
    case PathRole: return path_of(*e);
    case FolderRole: return folder.label;
    case DuplicateRole: {
      const QString path = folder.dir + QLatin1Char('/') + e->name;
      const int group = dup_group_.value(path);
      if (group == 0) return {};
      return dup_keep_.contains(path) ? QStringLiteral("Copies %1: keep").arg(group)
                                      : QStringLiteral("Copies %1: spare").arg(group);
    }
    case Qt::ToolTipRole:
      return QStringLiteral("%1\n%2\n%3, %4")
          .arg(e->name, folder.label, QLocale().formattedDataSize(e->size),
               QLocale().toString(QDateTime::fromMSecsSinceEpoch(e->mtime_ns / 1000000), QLocale::ShortFormat));
    case Qt::DecorationRole:
    case StateRole: {
      const QString key = key_of(*e);
      auto it = thumbs_.constFind(key);
      if (it != thumbs_.constEnd()) return role == StateRole ? QVariant(int(State::Ready)) : QVariant(*it);
      if (broken_.contains(key)) return role == StateRole ? QVariant(int(State::Broken)) : QVariant();
      if (role == Qt::DecorationRole)
        loader_.request(key, path_of(*e), e->mtime_ns / 1000000000, e->size);
      return role == StateRole ? QVariant(int(State::Loading)) : QVariant();
    }
    default: return {};
  }
}

void PictureModel::thumbnail_ready(const QString& key, const QImage& image, bool failed) {
  if (failed) {
    broken_.insert(key);
  } else {
    if (!thumbs_.contains(key)) thumb_order_.push_back(key);
    thumbs_.insert(key, QPixmap::fromImage(image));
    while (thumb_order_.size() > kThumbsInMemory) {
      thumbs_.remove(thumb_order_.front());
      thumb_order_.pop_front();
    }
  }
  const int row = row_of(key);
  if (row < 0) return;
  const QModelIndex i = index(row);
  emit dataChanged(i, i, {Qt::DecorationRole, StateRole});
}

}  // namespace fk

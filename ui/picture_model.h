// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pictures of the working folder as one newest-first list: every group folder under pictures/,
// loose files in pictures/ itself, and unknown/. Folders are read on a worker thread and watched, so
// files filed meanwhile appear at once; thumbnails come from a ThumbnailLoader.

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QPixmap>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "app/group_lists.h"
#include "store/picture_folders.h"
#include "ui/picture_hash.h"

class QFileSystemWatcher;

namespace fk {

class ThumbnailLoader;

// Reads folders on a thread of its own; answers arrive on the owner's thread, in order.
class FolderScanner : public QObject {
  Q_OBJECT
 public:
  struct Result {
    QString dir;  // as asked, relative to the root
    bool readable = false;
    std::vector<FolderFile> files;
    QStringList sub_folders;
  };
  explicit FolderScanner(QString root, QObject* parent = nullptr);
  ~FolderScanner() override;
  // Queues a listing of root/dir (a folder already queued is read once).
  void scan(const QString& dir);
  // Several listings answered together by one batch_scanned.
  void scan_batch(const QStringList& dirs);

 signals:
  void scanned(const fk::FolderScanner::Result& result);
  void batch_scanned(const std::vector<fk::FolderScanner::Result>& results);

 private:
  void work();
  Result read(const QString& dir) const;
  QString root_;
  std::mutex mutex_;
  std::condition_variable wake_;
  struct Job {
    QStringList dirs;
    bool batch = false;  // answered by batch_scanned, however many folders it holds
  };
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

class PictureModel : public QAbstractListModel {
  Q_OBJECT
 public:
  enum Role { DateRole = Qt::UserRole + 1, PathRole, StateRole, FolderRole, DuplicateRole };
  enum class State { Loading, Ready, Broken };
  enum class FolderKind { Group, Loose, Unknown };
  // The list's order: newest first, by name, largest first, or by group (newest first within each).
  enum class SortKey { Date, Name, Size, Group };
  struct Folder {
    QString dir;    // relative to the working folder: "pictures/<group>", "pictures" or "unknown"
    QString label;  // what the user sees
    FolderKind kind = FolderKind::Group;
    int count = 0;
    bool present = false;
  };
  struct Entry {
    int folder = 0;
    QString name;
    qint64 mtime_ns = 0;
    qint64 size = 0;
  };

  // root: the working folder (absolute). The loader must outlive the model.
  PictureModel(const QString& root, ThumbnailLoader& loader, QObject* parent = nullptr);
  ~PictureModel() override;

  // Reads every folder and starts watching them.
  void open();
  // True once the first reading has arrived.
  bool loaded() const { return loaded_; }

  // What the list shows: the pictures of every group (folder ""), or of one folder; then only names
  // that hold `text`, or match it whole when it holds * or ? (case ignored, as the groups dialog).
  void show_folder(const QString& dir);
  void set_name_filter(const QString& text);
  void set_sort(SortKey key);
  // Shows only these groups of copies (relative paths, the one to keep first), in this order; the name
  // filter still applies. DuplicateRole then says which group a picture is in and whether it is kept.
  void show_duplicates(const std::vector<std::vector<QString>>& groups);
  void clear_duplicates();
  bool showing_duplicates() const { return dup_active_; }
  // True for a picture shown as a copy that could go (not the first of its group).
  bool is_spare_copy(int row) const;
  // Every picture file the model knows, with its relative path (for the duplicate search).
  using Known = ListedPicture;
  std::vector<Known> known_pictures() const;
  SortKey sort_key() const { return sort_; }
  const QString& shown_folder() const { return folder_filter_; }

  const std::vector<Folder>& folders() const { return folders_; }
  // Pictures in all group folders (loose files included), unknown/ left out.
  int group_total() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  const Entry* entry(int row) const;
  QString absolute_path(int row) const;
  QString relative_path(int row) const;
  const QString& root() const { return root_; }

  // Reads a folder again now (after the gallery itself moved a file away, say).
  void rescan(const QString& dir);

 signals:
  // The folder list or its counts changed.
  void folders_changed();
  // A reading has been applied to the list.
  void refreshed();

 private:
  void apply(const FolderScanner::Result& result);
  void apply_batch(const std::vector<FolderScanner::Result>& results);
  bool apply_one(const FolderScanner::Result& result);
  // True when a group folder went away.
  bool update_sub_folders(const QStringList& names);
  int folder_index(const QString& dir, FolderKind kind);
  void rebuild(bool force_reset);
  // The list's order under sort_.
  bool before(const Entry& a, const Entry& b) const;
  void watch(const QString& dir);
  void on_directory_changed(const QString& absolute_dir);
  void thumbnail_ready(const QString& key, const QImage& image, bool failed);
  QString path_of(const Entry& e) const;
  QString key_of(const Entry& e) const;
  int row_of(const QString& key) const;

  QString root_;
  ThumbnailLoader& loader_;
  FolderScanner* scanner_ = nullptr;
  QFileSystemWatcher* watcher_ = nullptr;
  QTimer settle_;  // gathers bursts of change notices
  QSet<QString> changed_dirs_;
  QTimer recheck_;  // reads changed folders once more, when writers have finished
  QSet<QString> recheck_dirs_;

  std::vector<Folder> folders_;
  std::vector<std::vector<Entry>> files_;  // per folder
  std::vector<Entry> shown_;
  QString folder_filter_;
  QString name_filter_;
  GroupFilter name_match_;
  SortKey sort_ = SortKey::Date;
  QHash<QString, int> dup_rank_;   // relative path -> place in the duplicates view
  QHash<QString, int> dup_group_;  // relative path -> group number, from 1
  QSet<QString> dup_keep_;
  bool dup_active_ = false;
  bool loaded_ = false;

  // Thumbnails kept in memory; older ones go first and load again (from the disk cache) when needed.
  QHash<QString, QPixmap> thumbs_;
  std::deque<QString> thumb_order_;
  QSet<QString> broken_;
  mutable QHash<QString, int> rows_;  // key -> row, rebuilt after each change of the list
};

}  // namespace fk

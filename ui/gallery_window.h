// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Fennick - Pictures": the harvest as thumbnails. Groups with their counts on the left, a newest-first
// grid on the right, a large preview in the same window, and the picture commands (view, open folder,
// trash, blacklist the author).

#include <QImage>
#include <QPersistentModelIndex>
#include <QWidget>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class QComboBox;
class QPushButton;
class QLabel;
class QLineEdit;
class QSlider;
class QTimer;
class QListView;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace fk {

class Dialogs;
class StatusLog;
class PictureModel;
class ThumbnailLoader;
class PicturePreview;
class ThumbnailDelegate;

struct GalleryServices {
  Dialogs* dialogs = nullptr;        // confirmations, messages and the desktop's viewer
  const StatusLog* log = nullptr;    // may be null
  // The Bozo Bucket's blacklisting of an author (asks first); may be empty.
  std::function<bool(const std::string& author)> blacklist_author;
  QString root;                      // the working folder; the current folder when empty
  QString trash_dir;                 // the desktop's trash; home_trash_dir() when empty
  QString thumbnail_root;            // the thumbnail cache; ThumbnailCache::default_root() when empty
  int loader_threads = 0;            // 0: one per core
};

class GalleryWindow : public QWidget {
  Q_OBJECT
 public:
  explicit GalleryWindow(GalleryServices services, QWidget* parent = nullptr);
  ~GalleryWindow() override;

  PictureModel& model() { return *model_; }
  ThumbnailLoader& loader() { return *loader_; }
  QListView* grid() const { return grid_; }
  QTreeWidget* folders() const { return folders_; }
  QLineEdit* filter() const { return filter_; }
  bool previewing() const;

  // The commands on the current picture, as the keys and the context menu run them.
  void open_current();
  void open_containing_folder();
  // Asks once, then moves the selected pictures (the current one when none is selected) to the trash;
  // true when any went. They can be brought back with undo_trash.
  bool trash_current();
  // Ctrl+Z: puts the pictures of the last trashing back where they were (a name taken meanwhile is
  // left in the trash); true when any came back.
  bool undo_trash();
  // Blacklists the authors of the selected pictures, each once.
  void blacklist_current_author();
  void toggle_preview();
  // The thumbnails' edge in pixels (64 to 256, the slider and Ctrl+plus / Ctrl+minus).
  void set_thumbnail_edge(int edge);
  int thumbnail_edge() const;
  QSlider* size_slider() const { return size_; }
  QComboBox* sort_choice() const { return sort_; }
  // The panel beside the grid: size, dimensions, date, group, author and subject of the current picture.
  QLabel* info_panel() const { return info_; }
  // F11.
  void toggle_full_screen();
  // F5 (and S in the preview): the preview steps on every few seconds until stopped.
  void toggle_slideshow();
  bool slideshow_running() const;
  // Ctrl+D and the Duplicates button: the pictures that are copies of one another (the same bytes or
  // nearly the same picture), in groups with the one to keep first; again, the whole harvest.
  // Hashes are kept in PICHASH.FNK of the working folder, so only new pictures are read.
  void show_duplicates(bool on);
  bool duplicates_ready() const;
  // Shift+Delete among the duplicates: every copy but the ones to keep goes to the trash (one question).
  bool trash_spare_copies();
  // Opens the window, or raises it when it is already open.
  void present();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void place_beside_parent();
  // Brings PICHASH.FNK up to date on a thread; with `show`, the groups found are shown.
  void start_hashing(bool show);
  void keep_index_current();
  void refill_folders();
  void folder_chosen(QTreeWidgetItem* item);
  void show_context_menu(const QPoint& at);
  void step_preview(int delta);
  void load_preview();
  void update_status();
  void update_info();
  // Rows selected in the grid, in order; the current row when none is.
  std::vector<int> chosen_rows() const;
  void say(const QString& text);
  void log(const std::string& text, int level) const;

  GalleryServices services_;
  ThumbnailLoader* loader_ = nullptr;
  PictureModel* model_ = nullptr;
  QTreeWidget* folders_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QListView* grid_ = nullptr;
  ThumbnailDelegate* delegate_ = nullptr;
  QSlider* size_ = nullptr;
  QComboBox* sort_ = nullptr;
  QLabel* info_ = nullptr;
  QTimer* slideshow_ = nullptr;
  QPushButton* duplicates_ = nullptr;
  std::thread hasher_;
  std::atomic<bool> hasher_stop_{false};
  std::atomic<bool> hasher_busy_{false};
  QTimer* index_due_ = nullptr;
  bool duplicates_ready_ = false;
  // The last trashing, for undo: where each picture was and where it went.
  struct Trashed {
    QString original, trashed_as;
  };
  std::vector<Trashed> last_trashed_;
  PicturePreview* preview_ = nullptr;
  QLabel* status_ = nullptr;
  QString message_;
  bool placed_ = false;
  QPersistentModelIndex previewed_;
};

}  // namespace fk

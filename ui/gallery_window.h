// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Fennick - Pictures": the harvest as thumbnails. Groups with their counts on the left, a newest-first
// grid on the right, a large preview in the same window, and the picture commands (view, open folder,
// trash, blacklist the author).

#include <QImage>
#include <QPersistentModelIndex>
#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
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
  // Asks, then moves the picture to the trash; true when it went.
  bool trash_current();
  void blacklist_current_author();
  void toggle_preview();
  // Opens the window, or raises it when it is already open.
  void present();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void refill_folders();
  void folder_chosen(QTreeWidgetItem* item);
  void show_context_menu(const QPoint& at);
  void step_preview(int delta);
  void load_preview();
  void update_status();
  void say(const QString& text);
  void log(const std::string& text, int level) const;

  GalleryServices services_;
  ThumbnailLoader* loader_ = nullptr;
  PictureModel* model_ = nullptr;
  QTreeWidget* folders_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QListView* grid_ = nullptr;
  PicturePreview* preview_ = nullptr;
  QLabel* status_ = nullptr;
  QString message_;
  QPersistentModelIndex previewed_;
};

}  // namespace fk

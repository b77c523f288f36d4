#pragma once
// The status window: every control of the main window, its commands, caption, window menu and timer.

#include <QHash>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <optional>
#include <string>
#include <utility>

#include "app/commands.h"
#include "session/pending_queue.h"
#include "session/view.h"
#include "store/history_buffer.h"
#include "store/settings.h"

class QListView;
class QMenu;
class QSlider;
class QTreeView;

namespace fk {

class HistoryModel;
class PendingModel;

class StatusWindow : public QWidget {
  Q_OBJECT
 public:
  // The commands, settings and containers must outlive the window. Build it before other threads
  // change the containers: the lists start from their current contents and then follow every change.
  StatusWindow(StatusCommands& commands, const SharedSettings& settings, PendingQueue& pending,
               HistoryBuffer& article_ids, HistoryBuffer& filenames, HistoryBuffer& blacklist,
               std::string banner, QWidget* parent = nullptr);
  ~StatusWindow() override;

  // Starts the one-second tick that calls StatusCommands::tick; stop_timer ends it.
  void start_timer();
  void stop_timer();
  bool timer_running() const { return timer_.isActive(); }

  // Position of the "Slow"/"Fast" trackbar, 0..10. Safe from any thread.
  int pacing_position() const { return pacing_.load(std::memory_order_relaxed); }

  // Control operations, GUI thread only. Ids that do not name a control of that kind are ignored.
  // Positions are held inside the range, like the classic controls (a bar at 120 of 100 stands full).
  void apply_text(ControlId id, const QString& text);
  void apply_enabled(ControlId id, bool enabled);
  void apply_range(ControlId id, int low, int high);
  void apply_position(ControlId id, int position);
  // The range of a progress bar or the trackbar; nullopt for other ids.
  std::optional<std::pair<int, int>> range_of(ControlId id) const;

  // The widget that carries the id, or null.
  QWidget* control(ControlId id) const;

  // The selected row of the pending list or of a history list, as the user sees it.
  std::optional<RowRef> selected_pending() const;
  std::optional<RowRef> selected_history(ControlId list) const;

  // The window's place and the pending list's column widths as FENNICK.INI keeps them ("x,y,w,h" and
  // "a,b,c,d"). restore_* apply a stored text only when it is whole and, for the place, when a screen
  // can show the window there; otherwise they change nothing and return false.
  QString geometry_text() const;
  bool restore_geometry(const QString& text);
  QString column_widths_text() const;
  bool restore_column_widths(const QString& text);

  const QString& banner() const { return banner_; }
  QMenu* window_menu() const { return window_menu_; }

  // Lets the window close (the core's Close has done its steps) and closes it.
  void close_for_good();
  // The about box, modal.
  void show_about();

 signals:
  // The window menu's "Show Pictures..." (Ctrl+P): the owner opens the picture gallery.
  void pictures_requested();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build();
  void update_caption();
  void size_pending_columns();
  QWidget* add(ControlId id, QWidget* widget);

  StatusCommands& commands_;
  const SharedSettings& settings_;
  QString banner_;
  QTimer timer_;
  std::atomic<int> pacing_{10};
  bool closing_allowed_ = false;
  bool in_close_event_ = false;

  PendingModel* pending_model_ = nullptr;
  HistoryModel* ids_model_ = nullptr;
  HistoryModel* files_model_ = nullptr;
  HistoryModel* bozos_model_ = nullptr;
  QTreeView* pending_view_ = nullptr;
  QSlider* pacing_slider_ = nullptr;
  QMenu* window_menu_ = nullptr;
  QHash<int, QWidget*> controls_;
};

}  // namespace fk

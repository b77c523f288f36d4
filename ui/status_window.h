// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status window: every control of the main window, its commands, caption, window menu and timer.

#include <QHash>
#include <QTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <utility>

#include "app/commands.h"
#include "session/pending_queue.h"
#include "session/view.h"
#include "store/history_buffer.h"
#include "store/settings.h"

class QBoxLayout;
class QGroupBox;
class QListView;
class QMenu;
class QPushButton;
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
  // can show the window there; otherwise they change nothing and return false. The column widths are
  // the ones the user chose: the list shows them where they fit its width and narrows them where not.
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
  void fit_slider_to_palette();
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void build_window_menu();
  QGroupBox* build_status_box();
  QGroupBox* build_pending_box();
  QGroupBox* build_history_box();
  QBoxLayout* build_side_column();
  void connect_buttons();
  // Enables the buttons whose use depends on the window's state as well as the core's word, and says in
  // their tool tips why one cannot act now.
  void update_buttons();
  void update_caption();
  void size_pending_columns();
  // Shows the chosen column widths where they fit the list's width; the subject takes the rest.
  void fit_pending_columns();
  void column_dragged(int column, int width);
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
  // What the core last said about a button's state (true until it says otherwise).
  QHash<int, bool> core_enabled_;
  // The pending columns as chosen (article, author, lines, subject); the subject fills what is left.
  std::array<int, 4> column_wish_{};
  int subject_least_ = 0;
  bool fitting_columns_ = false;
};

}  // namespace fk

// SPDX-License-Identifier: GPL-3.0-or-later
// The windowed program: wiring the core, the view and the status window together.
#include "ui/run_window.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <QWindow>
#include <functional>
#include <string>
#include <utility>

#include "app/application.h"
#include "app/group_list_refresher.h"
#include "app/working_folder.h"
#include "dialup/nmcli_service.h"
#include "store/clock.h"
#include "store/profile_file.h"
#include "store/settings.h"
#include "store/status_log.h"
#include "ui/bozo_dialog.h"
#include "ui/desktop_notifier.h"
#include "ui/dialogs.h"
#include "ui/gallery_window.h"
#include "ui/picture_index_keeper.h"
#include "app/duplicates.h"
#include "ui/groups_dialog.h"
#include "ui/qt_app_windows.h"
#include "ui/qt_view.h"
#include "ui/setup_sheet.h"
#include "ui/status_window.h"
#ifdef FK_HAVE_WEB
#include "app/tee_view.h"
#include "web/web_view.h"
#endif

namespace fk {

namespace {

// Closing the status window ends the program's event loop.
class ProgramWindows final : public QtAppWindows {
 public:
  std::function<void()> before_close;
  void close_window() override {
    if (before_close) before_close();
    QtAppWindows::close_window();
    QCoreApplication::quit();
  }
};

std::string screen_value(const ProfileFile& ini, const char* key) {
  const SettingDef& def = setting_def(key);
  return ini.get_string(def.section, def.key, def.text_default, static_cast<std::size_t>(def.high) + 1);
}

// The window's place and the column widths go to FENNICK.INI on their own: the rest of the file is
// the setup sheet's to write.
void remember_screen(Application& app, const StatusWindow& window) {
  const std::string geometry = window.geometry_text().toStdString();
  const std::string columns = window.column_widths_text().toStdString();
  app.settings().update([&](Settings& s) {
    s.window_geometry = geometry;
    s.pending_columns = columns;
  });
  const ProfileFile ini(app.ini_path());
  for (auto [key, value] : {std::pair{"window_geometry", &geometry}, std::pair{"pending_columns", &columns}}) {
    const SettingDef& def = setting_def(key);
    if (!ini.write_string(def.section, def.key, *value))
      app.log().log_status("ERROR: File Open " + app.ini_path() + " - Write (window place)", 0);
  }
  keep_settings_file_private(ini, app.log());
}

}  // namespace

void show_start_error(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Fennick"), QString::fromStdString(message), QMessageBox::Ok);
  box.exec();
}

int run_window(int argc, char** argv, const ReadOwnOptions& read_options) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName("fennick");
  // Ties the windows to the desktop entry (its icon and name in the task switcher under Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.fennick.Fennick"));
  QApplication::setWindowIcon(program_icon());
  // The window closes only through the core's Close; message boxes shown before it must not end the loop.
  QApplication::setQuitOnLastWindowClosed(false);
  WindowStart start;
  if (int status = read_options(argc, argv, start); status >= 0) return status;

  SystemClock clock;
  NmcliService dialup_service;
  QtView view;
  WorkingFolderClaim folder;
  if (folder.claim() != WorkingFolderClaim::Result::Claimed) {
    view.message_box(folder.message(), "Fennick", Icon::Error, Buttons::Ok);
    return 1;
  }
  ProgramWindows windows;
#ifdef FK_HAVE_WEB
  // The browser view, when [WEB] web_port is set, hears what the window hears; it outlives the core.
  WebView web;
  TeeView tee(view, web.events());
  Application app(tee, view, windows, clock, dialup_service);
#else
  Application app(view, view, windows, clock, dialup_service);
#endif
  StatusWindow window(app, app.settings(), app.pending(), app.article_ids(), app.filenames(), app.blacklist(),
                      banner_line());
  view.attach(window, app);
  windows.attach(window);
  windows.set_other_windows({
      [&] { return run_setup_sheet(app.settings(), view, app.log(), &window); },
      [&] {
        // One per opening: the closing dialog cancels its refresher for good.
        NntpGroupListRefresher refresher(app.engine());
        run_groups_dialog(app.state(), view, app.log(), app.clock(), refresher, &window);
      },
      [&] { return run_bozo_dialog(app.settings(), app.log(), &window); },
      [&] {
        const SetupSheet::Welcome welcome{QDir::currentPath()};
        return run_welcome_sheet(app.settings(), view, app.log(), welcome, &window);
      },
      [&] {
        NntpGroupListRefresher refresher(app.engine());
        run_groups_dialog(app.state(), view, app.log(), app.clock(), refresher, &window, true);
      },
  });

  // The gallery is made at its first opening and lives as long as the window (its parent).
  GalleryWindow* gallery = nullptr;
  QObject::connect(&window, &StatusWindow::pictures_requested, &window, [&] {
    if (!gallery) {
      app.log().log_status("Pictures Window Opened", 0);
      GalleryServices services;
      services.dialogs = &view;
      services.log = &app.log();
      services.blacklist_author = [&app](const std::string& author) { return app.blacklist_author(author); };
      gallery = new GalleryWindow(std::move(services), &window);
    }
    gallery->present();
  });

  // The duplicate search's index follows the filing, so the gallery's search reads only what is new.
  PictureIndexKeeper index_keeper(QDir::currentPath());
  if (auto* files = qobject_cast<QAbstractItemView*>(window.control(ControlId::FilenamesList)))
    QObject::connect(files->model(), &QAbstractItemModel::rowsInserted, &index_keeper,
                     &PictureIndexKeeper::pictures_filed);
  QObject::connect(&index_keeper, &PictureIndexKeeper::updated, &window, [&app](bool saved) {
    if (!saved) app.log().log_status(std::string("ERROR: File Write ") + kPictureHashFile, 0);
  });

  FreedesktopNotifier notifier;
  windows.set_notifier(&notifier, [&window] { emit window.pictures_requested(); });

  if (start.start_at_once) app.start_when_ready();
  if (!start.note.empty()) app.add_start_note(start.note);
  {
    const ProfileFile ini(app.ini_path());
    window.restore_geometry(QString::fromStdString(screen_value(ini, "window_geometry")));
    window.restore_column_widths(QString::fromStdString(screen_value(ini, "pending_columns")));
  }
  windows.before_close = [&] { remember_screen(app, window); };
  // The window first, so that the start-up's boxes have it to centre on.
  window.show();
  // Until the window manager has placed it (it is mapped, then exposed): boxes centre on where it is.
  QElapsedTimer placed;
  placed.start();
  while (placed.elapsed() < 1000 && !(window.windowHandle() && window.windowHandle()->isExposed())) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  QApplication::processEvents();
  app.start_up();
#ifdef FK_HAVE_WEB
  web.start(app, view);  // a port it cannot use is logged; the window goes on without it
#endif
  window.start_timer();
  int status = QApplication::exec();
  app.close();  // when something else ended the loop (a session logout), Close still saves the statistics
#ifdef FK_HAVE_WEB
  web.stop();
#endif
  return status;
}

}  // namespace fk

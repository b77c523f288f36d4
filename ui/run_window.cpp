// The windowed program: wiring the core, the view and the status window together.
#include "ui/run_window.h"

#include <QApplication>

#include "app/application.h"
#include "app/group_list_refresher.h"
#include "app/working_folder.h"
#include "dialup/nmcli_service.h"
#include "store/clock.h"
#include "ui/bozo_dialog.h"
#include "ui/dialogs.h"
#include "ui/gallery_window.h"
#include "ui/groups_dialog.h"
#include "ui/qt_app_windows.h"
#include "ui/qt_view.h"
#include "ui/setup_sheet.h"
#include "ui/status_window.h"

namespace fk {

namespace {

// Closing the status window ends the program's event loop.
class ProgramWindows final : public QtAppWindows {
 public:
  void close_window() override {
    QtAppWindows::close_window();
    QCoreApplication::quit();
  }
};

}  // namespace

int run_window(int argc, char** argv, bool start_at_once) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName("fennick");
  QApplication::setWindowIcon(program_icon());
  // The window closes only through the core's Close; message boxes shown before it must not end the loop.
  QApplication::setQuitOnLastWindowClosed(false);

  SystemClock clock;
  NmcliService dialup_service;
  QtView view;
  WorkingFolderClaim folder;
  if (folder.claim() != WorkingFolderClaim::Result::Claimed) {
    view.message_box(folder.message(), "Fennick", Icon::Error, Buttons::Ok);
    return 1;
  }
  ProgramWindows windows;
  Application app(view, view, windows, clock, dialup_service);
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

  if (start_at_once) app.start_when_ready();
  app.start_up();
  window.show();
  window.start_timer();
  int status = QApplication::exec();
  app.close();  // when something else ended the loop (a session logout), Close still saves the statistics
  return status;
}

}  // namespace fk

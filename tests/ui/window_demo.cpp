// SPDX-License-Identifier: GPL-3.0-or-later
// Not shipped: shows the status window in a realistic state and saves screenshots of it and its
// dialogs, for a person to judge the look (run under xvfb-run, with QT_SCALE_FACTOR=2 for 200%).
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QPalette>
#include <QTimer>
#include <cstdio>

#include "demo_state.h"
#include "store/settings.h"
#include "ui/dialogs.h"
#include "ui/qt_view.h"
#include "ui/status_window.h"

namespace {

class IdleCommands : public fk::StatusCommands {
 public:
  void start() override {}
  void stop() override {}
  void setup() override {}
  void groups() override {}
  void skip_group() override {}
  void bozo(std::optional<fk::RowRef>) override {}
  void download_next(std::optional<fk::RowRef>) override {}
  void remove_pending(std::optional<fk::RowRef>) override {}
  void remove_history(fk::ControlId, std::optional<fk::RowRef>) override {}
  void close() override { QApplication::quit(); }
  void tick() override {}
};

}  // namespace

// Usage: window_demo OUT_PREFIX [--stay] [--dark] [--small]   writes OUT_PREFIX-window.png, -about.png,
// -exit.png; --dark uses a dark palette, --small shows the window at 800x500 (logical).
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_demo OUT_PREFIX [--stay]\n");
    return 2;
  }
  const QString prefix = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
  const QStringList options = QApplication::arguments().mid(2);
  const bool stay = options.contains(QLatin1String("--stay"));
  if (options.contains(QLatin1String("--dark"))) {
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(fk::test::dark_palette());
  }
  QTemporaryDir work;
  QDir::setCurrent(work.path());

  IdleCommands commands;
  fk::SharedSettings settings;
  fk::PendingQueue pending;
  fk::HistoryBuffer ids("HISTORY.FNK"), files("FILENAMES.FNK"), bozos("BOZOS.FNK");
  fk::StatusWindow window(commands, settings, pending, ids, files, bozos,
                          "Fennick 1.0.0 - Usenet picture harvester");
  fk::QtView view(window, commands);
  fk::test::fill_demo_containers(pending, ids, files, bozos);
  fk::test::fill_demo_controls(view);
  if (options.contains(QLatin1String("--small"))) window.resize(800, 500);
  window.show();

  QTimer::singleShot(500, [&] {
    view.flush();
    window.grab().save(prefix + QStringLiteral("-window.png"));
    fk::AboutDialog about(window.banner(), &window);
    about.show();
    QApplication::processEvents();
    about.grab().save(prefix + QStringLiteral("-about.png"));
    fk::ExitStatisticsDialog stats(&window);
    stats.set_statistics({42, 1337, 123456, 789});
    stats.show();
    QApplication::processEvents();
    stats.grab().save(prefix + QStringLiteral("-exit.png"));
    if (!stay) QApplication::quit();
  });
  return QApplication::exec();
}

#pragma once
// One status window with its containers and a recording command sink, in a scratch working folder.

#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "fake_commands.h"
#include "session/pending_queue.h"
#include "store/history_buffer.h"
#include "store/settings.h"
#include "ui/qt_view.h"
#include "ui/status_window.h"

namespace fk::test {

inline const char* const kBanner = "Fennick 1.0.0 - Usenet picture harvester";

struct UiFixture {
  UiFixture() {
    QDir::setCurrent(work.path());
    window = std::make_unique<StatusWindow>(commands, settings, pending, ids, files, bozos, kBanner);
    view = std::make_unique<QtView>(*window, commands);
  }
  ~UiFixture() {
    view.reset();
    window.reset();
    QDir::setCurrent(QDir::tempPath());
  }

  template <class W>
  W* find(ControlId id) const {
    return window->findChild<W*>(QStringLiteral("id%1").arg(static_cast<int>(id)));
  }

  QTemporaryDir work;
  FakeCommands commands;
  SharedSettings settings;
  PendingQueue pending;
  HistoryBuffer ids{"HISTORY.FNK"}, files{"FILENAMES.FNK"}, bozos{"BOZOS.FNK"};
  std::unique_ptr<StatusWindow> window;
  std::unique_ptr<QtView> view;
};

}  // namespace fk::test

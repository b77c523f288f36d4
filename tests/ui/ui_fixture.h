// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One status window with its containers and a recording command sink, in a scratch working folder.

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QTemporaryDir>
#include <memory>

#include "common/recording_view.h"
#include "fake_commands.h"
#include "session/pending_queue.h"
#include "store/history_buffer.h"
#include "store/settings.h"
#include "ui/gallery_window.h"
#include "ui/picture_model.h"
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

// A picture gallery over a scratch working folder, with the desktop's trash and thumbnail cache in a
// scratch folder of their own (XDG_DATA_HOME, XDG_CACHE_HOME) and recorded dialogs.
struct GalleryFixture {
  GalleryFixture() {
    QDir::setCurrent(work.path());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(xdg.path() + QStringLiteral("/cache")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(xdg.path() + QStringLiteral("/data")));
  }
  ~GalleryFixture() {
    window.reset();
    QDir::setCurrent(QDir::tempPath());
  }
  // Opens a gallery (a second one after close()) and waits for its first reading.
  GalleryWindow& open() {
    GalleryServices services;
    services.dialogs = &dialogs;
    services.blacklist_author = [this](const std::string& author) {
      blacklisted.push_back(author);
      return true;
    };
    window = std::make_unique<GalleryWindow>(std::move(services));
    window->show();
    for (int i = 0; i < 500 && !window->model().loaded(); ++i) QTest::qWait(10);
    return *window;
  }
  void close() { window.reset(); }
  PictureModel& model() { return window->model(); }
  QString cache_root() const { return xdg.path() + QStringLiteral("/cache/thumbnails"); }
  QString trash_root() const { return xdg.path() + QStringLiteral("/data/Trash"); }
  // Asks for the thumbnails of the first rows and waits until each is made or marked broken.
  bool thumbnails_settle(int rows, int timeout_ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeout_ms) {
      int pending = 0;
      for (int r = 0; r < std::min(rows, model().rowCount()); ++r) {
        model().index(r).data(Qt::DecorationRole);
        if (model().index(r).data(PictureModel::StateRole).toInt() == int(PictureModel::State::Loading)) ++pending;
      }
      if (pending == 0) return true;
      QTest::qWait(20);
    }
    return false;
  }

  QTemporaryDir work, xdg;
  RecordingDialogs dialogs;
  std::vector<std::string> blacklisted;
  std::unique_ptr<GalleryWindow> window;
};

}  // namespace fk::test

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A complete, independent EngineContext for tests and benchmarks: settings, state, logs, fake clock,
// the view and dialogs of the caller's choice, queue, history buffers, decoders and plenty of disk.
// Files are opened by relative name, so the caller decides the working folder.

#include "common/fake_clock.h"
#include "common/fake_disk_space.h"
#include "common/recording_view.h"
#include "session/context.h"

namespace fk::test {

template <class ViewT, class DialogsT>
struct BasicEngine {
  explicit BasicEngine(Settings s = {}) : settings(std::move(s)) {}
  BasicEngine(const BasicEngine&) = delete;
  BasicEngine& operator=(const BasicEngine&) = delete;

  SharedSettings settings;
  SessionState state;
  FakeClock clock;
  StatusLog log{settings, clock};
  DownloadLog files_log{settings};
  ViewT view;
  DialogsT dialogs;
  PendingQueue pending;
  HistoryBuffer article_ids{"HISTORY.FNK"};
  HistoryBuffer filenames{"FILENAMES.FNK"};
  HistoryBuffer blacklist{"BOZOS.FNK"};
  Decoders decoders{log, clock};
  FakeDiskSpace disk;
  EngineContext ctx{settings, state,       log,       files_log, clock,    view, dialogs,
                    pending,  article_ids, filenames, blacklist, decoders, disk};
};

using EngineBundle = BasicEngine<RecordingView, RecordingDialogs>;

}  // namespace fk::test

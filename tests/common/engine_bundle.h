#pragma once
// A complete, independent EngineContext for tests: settings, state, logs, fake clock, recording view,
// queue and history buffers, all living in the test's working folder.

#include "common/fake_clock.h"
#include "common/fake_disk_space.h"
#include "common/recording_view.h"
#include "session/context.h"

namespace fk::test {

struct EngineBundle {
  explicit EngineBundle(Settings s = {}) : settings(std::move(s)) {}
  EngineBundle(const EngineBundle&) = delete;
  EngineBundle& operator=(const EngineBundle&) = delete;

  SharedSettings settings;
  SessionState state;
  FakeClock clock;
  StatusLog log{settings, clock};
  DownloadLog files_log{settings};
  RecordingView view;
  RecordingDialogs dialogs;
  PendingQueue pending;
  HistoryBuffer article_ids{"HISTORY.FNK"};
  HistoryBuffer filenames{"FILENAMES.FNK"};
  HistoryBuffer blacklist{"BOZOS.FNK"};
  Decoders decoders{log, clock};
  FakeDiskSpace disk;
  EngineContext ctx{settings, state,   log,         files_log, clock,    view,     dialogs,
                    pending,  article_ids, filenames, blacklist, decoders, disk};
};

}  // namespace fk::test

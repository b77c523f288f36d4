// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The objects a news session works with, created once by the program and handed to the engine.

#include "decode/decoders.h"
#include "session/disk_space.h"
#include "session/pending_queue.h"
#include "session/session_state.h"
#include "session/view.h"
#include "store/clock.h"
#include "store/history_buffer.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk {

struct EngineContext {
  SharedSettings& settings;
  SessionState& state;
  const StatusLog& log;
  const DownloadLog& files_log;
  Clock& clock;
  View& view;
  Dialogs& dialogs;
  PendingQueue& pending;
  HistoryBuffer& article_ids;  // HISTORY.FNK, list 1022
  HistoryBuffer& filenames;    // FILENAMES.FNK, list 1061
  HistoryBuffer& blacklist;    // BOZOS.FNK, list 1062
  Decoders& decoders;
  DiskSpace& disk;
};

}  // namespace fk

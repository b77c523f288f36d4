// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three history buffers, as the start-up, the commands and the tick share them.

#include "store/history_buffer.h"

namespace fk {

struct Histories {
  HistoryBuffer& article_ids;  // HISTORY.FNK
  HistoryBuffer& filenames;    // FILENAMES.FNK
  HistoryBuffer& blacklist;    // BOZOS.FNK
};

}  // namespace fk

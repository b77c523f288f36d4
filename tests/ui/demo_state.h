// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A realistic harvest in progress for the window's screenshots: a group half done, a pending list,
// filled histories.

#include <QPalette>
#include <string>

#include "session/pending_queue.h"
#include "session/view.h"
#include "store/history_buffer.h"

namespace fk::test {

void fill_demo_containers(PendingQueue& pending, HistoryBuffer& ids, HistoryBuffer& files,
                          HistoryBuffer& bozos);
void fill_demo_controls(View& view);
// A dark palette for the screenshots (with the Fusion style, which follows the palette).
QPalette dark_palette();

}  // namespace fk::test

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The download session: one news session from connect to QUIT, run on a worker thread of its own.

#include <cstdint>

namespace fk {

struct EngineContext;

// Exit codes of SessionThread.
inline constexpr int kSessionBailedOut = 1;  // socket failure or STOP inside a read
inline constexpr int kSessionEnded = 2;      // orderly ending: scan done, STOP at a group, refusal

// Runs one session against the configured server and walks the subscribed groups of newsrc, keeping
// dirty.txt so an interrupted scan resumes at its group. Leaves news_socket at -1 and connected at 0
// on return; the window's controls are left ready for the next session. Returns an exit code above.
int SessionThread(EngineContext& ctx);

// The resume marker's skip count: the first line's number minus 1 (the number read after optional
// blanks and a sign; a line without one counts as 0).
std::int64_t dirty_skip_count(const char* path = "dirty.txt");

}  // namespace fk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The article loop: fetches the pending articles from row 0, files their bodies and records them.

#include <cstdint>
#include <functional>
#include <string>

namespace fk {

struct EngineContext;
class NewsSocket;
class DownloadPool;

// How the article loop hands control back to the session.
struct ArticleLoopResult {
  enum class Kind {
    ListEmpty,      // the pending queue is empty: on to the next group
    OrderlyEnding,  // STOP, too little disk space, temp.uue or a picture could not be written
    BailOut,        // a receive failed; `message` is the numbered error to log
  } kind = Kind::ListEmpty;
  std::string message;
};

// Fetches row 0 of the pending queue into temp.uue, decodes (or files) it, records its message-id and
// file name, deletes row 0, and goes on until the queue is empty or the session must end. An article
// whose BODY is refused, whose body is cut off by a failed read, or whose picture could not be written
// (that ends the session, see SessionState::kWriteFailed) is not recorded. A failed free-space
// query counts as enough space. `finished` hears the number of every row the loop is done with
// (fetched, or refused by the server), before the row goes. In fast mode a `pool` of download-only
// connections takes rows as well; the loop files their bodies too, one at a time on this thread.
ArticleLoopResult run_article_loop(EngineContext& ctx, NewsSocket& socket,
                                   const std::function<void(std::int64_t)>& finished = {},
                                   DownloadPool* pool = nullptr);

// The time-stamp part of the raw and unknown file names: seconds since 1996-07-12 03:01:20 UTC as 8
// upper-case hex digits.
std::string filing_stamp(std::int64_t seconds_since_1970);

}  // namespace fk

#pragma once
// STUB to be replaced: an article loop that empties the pending queue without fetching anything.

#include <string>

namespace fk {

struct EngineContext;
class NewsSocket;

// How the article loop hands control back to the session.
struct ArticleLoopResult {
  enum class Kind {
    ListEmpty,      // the pending queue is empty: on to the next group
    OrderlyEnding,  // STOP before an article or too little disk space
    BailOut,        // a receive failed; `message` is the numbered error to log
  } kind = Kind::ListEmpty;
  std::string message;
};

// Fetches and files the pending articles from row 0 until the queue is empty or the session must end.
ArticleLoopResult run_article_loop(EngineContext& ctx, NewsSocket& socket);

}  // namespace fk

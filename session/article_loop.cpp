// STUB to be replaced: an article loop that empties the pending queue without fetching anything.
#include "session/article_loop.h"

#include "session/context.h"

namespace fk {

ArticleLoopResult run_article_loop(EngineContext& ctx, NewsSocket& socket) {
  (void)socket;
  ctx.pending.clear();
  return {};
}

}  // namespace fk

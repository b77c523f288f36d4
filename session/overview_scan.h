#pragma once
// The overview scan: XOVER for a group's whole range, every line through the selection chain.

#include <cstdint>
#include <string>

namespace fk {

struct EngineContext;
class NewsSocket;

// Empties the pending queue, asks for the overview of first..last and appends every article that
// ArticleSelector accepts. -1 when a read failed (a closed connection, or STOP seen inside a read) or
// memory ran out ("fill_articles_listbox() failed malloc"); 0 otherwise: the overview was read to its
// end, the server refused XOVER ("XOVER command failed" and the reply), or STOP was seen between two
// lines (the rest of the overview stays unread).
int fill_articles_listbox(EngineContext& ctx, NewsSocket& socket, std::int64_t first, std::int64_t last,
                          const std::string& group);

}  // namespace fk

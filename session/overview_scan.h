#pragma once
// STUB of the overview scan, to be replaced: sends XOVER and reads the overview to its end, selecting nothing.

#include <cstdint>
#include <string>

namespace fk {

struct EngineContext;
class NewsSocket;

// Asks for the overview of first..last and fills the pending queue with the selected articles.
// -1 when the connection failed (or STOP was seen inside a read); 0 otherwise, also when the server
// refused XOVER or STOP was seen between two lines.
int fill_articles_listbox(EngineContext& ctx, NewsSocket& socket, std::int64_t first, std::int64_t last,
                          const std::string& group);

}  // namespace fk

#pragma once
// STUB to be replaced: an overview scan that sends XOVER, reads to the end and selects nothing.

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

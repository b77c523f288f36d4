// The stand-in refresher used until the server listing is built.
#include "app/group_list_refresher.h"

namespace fk {

void StubGroupListRefresher::refresh(RefreshSink& sink) {
  sink.title(kRefreshDoneTitle);
}

}  // namespace fk

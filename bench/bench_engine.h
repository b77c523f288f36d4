#pragma once
// An engine context for benchmarks: a view and dialogs that do nothing, the fake clock (fixed waits cost
// nothing), plenty of disk, and a fresh working folder.

#include "common/engine_bundle.h"
#include "common/null_view.h"
#include "common/temp_dir.h"

namespace fk::bench {

struct BenchEngine : test::BasicEngine<test::NullView, test::NullDialogs> {
  test::TempDir dir;
};

}  // namespace fk::bench

#pragma once
// An engine context for benchmarks: a view and dialogs that do nothing, the fake clock (fixed waits cost
// nothing), plenty of disk, and a fresh working folder.

#include "common/fake_clock.h"
#include "common/fake_disk_space.h"
#include "common/temp_dir.h"
#include "session/context.h"

namespace fk::bench {

class NullView final : public View {
 public:
  void set_text(ControlId, const std::string&) override {}
  void set_enabled(ControlId, bool) override {}
  void set_progress_range(ControlId, int, int) override {}
  void set_progress(ControlId, int) override {}
  int pacing_position() const override { return 10; }
  void post_command(Command) override {}
};

class NullDialogs final : public Dialogs {
 public:
  Answer message_box(const std::string&, const std::string&, Icon, Buttons) override { return Answer::Ok; }
  void beep(Beep) override {}
  void play_sound_file(const std::string&) override {}
  bool open_with_viewer(const std::string&) override { return true; }
};

struct BenchEngine {
  test::TempDir dir;
  test::FakeClock clock;
  SharedSettings settings;
  SessionState state;
  StatusLog log{settings, clock};
  DownloadLog files_log{settings};
  NullView view;
  NullDialogs dialogs;
  PendingQueue pending;
  HistoryBuffer article_ids{"HISTORY.FNK"};
  HistoryBuffer filenames{"FILENAMES.FNK"};
  HistoryBuffer blacklist{"BOZOS.FNK"};
  Decoders decoders{log, clock};
  test::FakeDiskSpace disk;
  EngineContext ctx{settings, state,       log,       files_log, clock,    view, dialogs,
                    pending,  article_ids, filenames, blacklist, decoders, disk};
};

}  // namespace fk::bench

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A view and dialogs that show nothing, for benchmarks and fuzz targets; boxes take their default answer.

#include "session/view.h"

namespace fk::test {

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
  Answer message_box(const std::string&, const std::string&, Icon, Buttons buttons) override {
    return default_answer(buttons);
  }
  void beep(Beep) override {}
  void play_sound_file(const std::string&) override {}
  bool open_with_viewer(const std::string&) override { return true; }
};

}  // namespace fk::test

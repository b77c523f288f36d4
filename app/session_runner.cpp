// SPDX-License-Identifier: GPL-3.0-or-later
// The news session's thread.
#include "app/session_runner.h"

#include <sys/socket.h>
#include <unistd.h>

#include "session/session_thread.h"

namespace fk {

SessionRunner::SessionRunner(EngineContext& engine)
    : engine_(engine), body_([](EngineContext& e) { SessionThread(e); }) {}

SessionRunner::~SessionRunner() {
  if (thread_.joinable()) thread_.join();
}

void SessionRunner::launch() {
  if (thread_.joinable()) thread_.join();  // the previous session has passed its last step
  running_ = true;
  engine_.state.refusal = SessionState::kNoRefusal;
  thread_ = std::thread([this] {
    if (body_) body_(engine_);
    // Nothing is left to stop or skip, unless a reconnect is due: STOP still cancels that.
    engine_.view.set_enabled(ControlId::StopButton, engine_.state.auto_reconnect.load() != 0);
    engine_.view.set_enabled(ControlId::SkipGroupButton, false);
    running_ = false;
  });
}

void SessionRunner::stop_and_join(AppWindows& windows) {
  SessionState& state = engine_.state;
  state.stop_requested = 1;
  state.auto_reconnect = 0;
  int fd = state.news_socket.load();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
  while (running_) {
    windows.process_events();
    ::usleep(10000);
  }
  if (thread_.joinable()) thread_.join();
}

}  // namespace fk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The news session's own thread: one session at a time, launched by Start and waited for by Close.

#include <atomic>
#include <functional>
#include <thread>

#include "app/commands.h"
#include "session/context.h"

namespace fk {

class SessionRunner {
 public:
  // Runs one news session on the calling thread (the real one connects to the configured server).
  using Body = std::function<void(EngineContext&)>;

  // The body is the engine's session until set_body replaces it.
  explicit SessionRunner(EngineContext& engine);
  // Joins a thread that stop_and_join has not; call that first whenever a session may still run.
  ~SessionRunner();
  SessionRunner(const SessionRunner&) = delete;
  SessionRunner& operator=(const SessionRunner&) = delete;

  void set_body(Body body) { body_ = std::move(body); }
  // Starts a session once the previous one has passed its last step, with no refusal left from it.
  void launch();
  // True from launch() until the body has returned.
  bool running() const { return running_.load(); }
  // Asks the session to stop (no reconnect either), cuts a blocking receive short and waits for the
  // thread, handling the window's events meanwhile: the session may be waiting for the window.
  void stop_and_join(AppWindows& windows);

 private:
  EngineContext& engine_;
  Body body_;
  std::thread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace fk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Event sounds and sound files through libcanberra, played on a thread of their own so that no caller
// waits for the sound server; silent when there is no audio device.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "session/view.h"

struct ca_context;

namespace fk {

class SoundPlayer {
 public:
  SoundPlayer();
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Queues the desktop's event sound for the beep; returns at once.
  void beep(Beep kind);
  // Plays a sound file (absolute path). With wait, returns when it has played (or failed); without,
  // returns at once, and a file already waiting to be played is not queued twice.
  void play_file(const std::string& path, bool wait);

 private:
  struct Request {
    std::string event_id;  // either an event sound
    std::string file;      // or a file
    bool* done = nullptr;  // set when played, for a waiting caller
  };
  void run();
  void play(const Request& request);
  void finished(std::uint32_t id);
  static void on_finished(ca_context* context, std::uint32_t id, int error, void* self);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable played_;
  std::deque<Request> queue_;
  bool quit_ = false;
  ca_context* context_ = nullptr;  // used on the player thread only
  std::uint32_t next_id_ = 1;
  std::uint32_t finished_id_ = 0;
  std::thread thread_;
};

}  // namespace fk

// SPDX-License-Identifier: GPL-3.0-or-later
// Event sounds and sound files through libcanberra, on a thread of their own.
#include "ui/sound_player.h"

#include <canberra.h>

#include <chrono>

namespace fk {

namespace {

// No sound may hold up the queue longer than this, whatever the sound server does.
constexpr auto kLongestSound = std::chrono::seconds(10);

const char* event_id(Beep kind) {
  switch (kind) {
    case Beep::Information:
      return "dialog-information";
    case Beep::Question:
      return "dialog-question";
    case Beep::Exclamation:
      return "dialog-warning";
    case Beep::Error:
      return "dialog-error";
  }
  return "dialog-information";
}

}  // namespace

SoundPlayer::SoundPlayer() : thread_([this] { run(); }) {}

SoundPlayer::~SoundPlayer() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    for (auto& r : queue_)
      if (r.done) *r.done = true;
    queue_.clear();
  }
  wake_.notify_all();
  played_.notify_all();
  thread_.join();
}

void SoundPlayer::beep(Beep kind) {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    queue_.push_back({event_id(kind), {}, nullptr});
  }
  wake_.notify_one();
}

void SoundPlayer::play_file(const std::string& path, bool wait) {
  bool done = false;
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    if (!wait) {
      for (const auto& r : queue_)
        if (r.file == path && r.done == nullptr) return;
    }
    queue_.push_back({{}, path, wait ? &done : nullptr});
  }
  wake_.notify_one();
  if (!wait) return;
  std::unique_lock lock(mutex_);
  played_.wait(lock, [&] { return done || quit_; });
}

void SoundPlayer::run() {
  ca_context* context = nullptr;
  if (ca_context_create(&context) == CA_SUCCESS) {
    ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Fennick", CA_PROP_APPLICATION_ID, "fennick",
                            nullptr);
    context_ = context;
  }
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (quit_) break;
    Request request = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    play(request);
    lock.lock();
    // A caller released by quit_ has gone; only a caller still waiting may be told.
    if (request.done && !quit_) {
      *request.done = true;
      played_.notify_all();
    }
  }
  lock.unlock();
  if (context) ca_context_destroy(context);  // stops what still plays; no callback runs afterwards
  context_ = nullptr;
}

void SoundPlayer::play(const Request& request) {
  ca_context* context = context_;
  if (!context) return;
  ca_proplist* props = nullptr;
  if (ca_proplist_create(&props) != CA_SUCCESS) return;
  if (!request.event_id.empty()) {
    ca_proplist_sets(props, CA_PROP_EVENT_ID, request.event_id.c_str());
  } else {
    ca_proplist_sets(props, CA_PROP_MEDIA_FILENAME, request.file.c_str());
    ca_proplist_sets(props, CA_PROP_CANBERRA_CACHE_CONTROL, "never");
  }
  std::unique_lock lock(mutex_);
  const std::uint32_t id = next_id_++;
  lock.unlock();
  const int rc = ca_context_play_full(context, id, props, &SoundPlayer::on_finished, this);
  ca_proplist_destroy(props);
  if (rc != CA_SUCCESS || !request.event_id.empty()) return;  // beeps never hold the queue
  // A file plays to its end before the next sound starts.
  lock.lock();
  played_.wait_for(lock, kLongestSound, [&] { return finished_id_ == id || quit_; });
}

void SoundPlayer::on_finished(ca_context*, std::uint32_t id, int, void* self) {
  static_cast<SoundPlayer*>(self)->finished(id);
}

void SoundPlayer::finished(std::uint32_t id) {
  {
    std::lock_guard lock(mutex_);
    finished_id_ = id;
  }
  played_.notify_all();
}

}  // namespace fk

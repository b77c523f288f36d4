// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the core talks to the status window (or the terminal view): controls by id, posted commands,
// message boxes, sounds and the desktop's picture viewer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "session/scan_range.h"

namespace fk {

// What one group's overview scan read, for views that report it in their own words.
struct OverviewScanReport {
  std::string group;
  ScanStart start = ScanStart::WholeGroup;
  ArticleRange range;          // asked for
  std::int64_t lines = 0;      // overview lines examined
  std::int64_t selected = 0;   // rows in the pending list afterwards
  bool limit_reached = false;  // stopped at max_art_per_grp
};

// The status window's controls, by the ids other threads address them with.
enum class ControlId : int {
  SetupButton = 1000,
  StartButton = 1001,
  CloseButton = 1002,
  ConnectionStatus = 1003,    // beside "Connected To:"
  GroupCounter = 1004,        // "%d of %d news groups"
  GroupName = 1005,           // beside "News Group:"
  DownloadStatus = 1008,      // read-only line under the pending list
  Throughput = 1010,          // beside "Network Status:"
  PictureSummary = 1011,      // beside "Pictures:"
  ArticleIdList = 1022,       // Article ID's history
  NewsGroupsButton = 1027,
  GroupsProgress = 1029,
  ArticleProgress = 1030,
  PendingList = 1033,
  PendingBox = 1035,          // group box around the pending list; its caption is the pending state
  SkipGroupButton = 1037,
  PacingTrackbar = 1041,
  StopButton = 1042,
  BozoButton = 1058,
  FilenamesList = 1061,
  BlacklistList = 1062,
  ArticleIdLabel = 1066,      // "%d Article ID's"
  FilenamesLabel = 1067,      // "%d Downloaded Files"
  BlacklistLabel = 1068,      // "%d Blacklisted Bozos"
  ConnectedToLabel = 1069,
  DownloadNextButton = 1070,
  HistoryBox = 1071,
  AboutText = 1072,
  SchedulerStatus = 1084,
};

// Commands other threads press by posting them to the window.
enum class Command { Start, Close, Stop };

// How a session ended, for the views.
// Failed: the session ended without doing its work and waiting will not mend it (a refusal, a full
// disk); `detail` says why.
enum class SessionEnd { Completed, Stopped, NothingToScan, Failed };

// The running totals of a session, after each filed article.
struct SessionCounters {
  std::int64_t pictures = 0;
  std::int64_t articles_examined = 0;
  std::int64_t duplicates = 0;
  std::int64_t base64 = 0;
  std::int64_t unknown_format = 0;
  std::string set_progress;  // the last part kept of a multi-part set: "panorama.jpg: 3 of 4 parts"
};

// The status window's texts for the typed events (the defaults of View).
std::string pending_caption_text(const std::string& group, std::size_t count);
// The picture summary: the window's form has a comma after "base64" and the set's progress; the
// session's closing log line keeps its historic form without either, as readers of fk.log know it.
enum class CountersForm { Window, LogLine };
std::string counters_text(const SessionCounters& c, CountersForm form = CountersForm::Window);
// "4 connections, 1,234 KB/s".
std::string transfer_text(int connections, std::int64_t bytes_per_second);

// The status window as the core sees it. Any thread may call; the implementation carries each call
// out whole, in order, on the window's thread. post_command never runs the command before returning.
class View {
 public:
  virtual ~View() = default;
  virtual void set_text(ControlId id, const std::string& text) = 0;
  virtual void set_enabled(ControlId id, bool enabled) = 0;
  virtual void set_progress_range(ControlId id, int low, int high) = 0;
  virtual void set_progress(ControlId id, int position) = 0;
  // Position of the "Slow"/"Fast" trackbar, 0..10.
  virtual int pacing_position() const = 0;
  virtual void post_command(Command command) = 0;

  // What happened, as typed events. The defaults show the status window's texts through set_text, so
  // a view formats its own texts only where it overrides one; a view never has to read those texts back.
  // A group's scan began (index of total subscribed groups).
  virtual void group_started(const std::string& group, int index, int total);
  // The group counter reached the index-th of total subscribed groups (skipped groups count too).
  virtual void group_counted(int index, int total);
  // Connected to `server`; `attempts` connections were tried this run.
  virtual void connected_to(const std::string& server, int attempts);
  // No connection now, after `attempts` tries; `waiting` when the scheduler decides the next.
  virtual void nobody_connected(int attempts, bool waiting);
  // The overview scan looked at an article.
  virtual void overview_checking(std::string_view number);
  // The pending list of the group's scan holds `count` articles so far.
  virtual void pending_counted(const std::string& group, std::size_t count);
  // An article's body was requested.
  virtual void article_started(std::int64_t number);
  // Lines of the body received so far, of those announced.
  virtual void article_progress(std::uint32_t line, std::uint32_t lines, std::uint32_t percent);
  // An article was filed: the session's totals now.
  virtual void counters_changed(const SessionCounters& counters);
  // Skip Group emptied the pending list.
  virtual void group_skipped();
  // The session ended orderly; `detail` says why when nothing was scanned.
  virtual void session_ended(SessionEnd reason, const std::string& detail);
  // Several connections are open to `server`: how many now, and the bytes a second they carry together
  // (each second while they are).
  virtual void transfer_status(const std::string& server, int connections, std::int64_t bytes_per_second);
  // A TLS connection was made without checking the server's certificate (tls_verify=0).
  virtual void certificate_unchecked(const std::string& server);
  // The scheduler is off (the tick repeats this).
  virtual void scheduler_disabled();
  // A group's overview has been read (or reading it ended early). The window shows nothing of it.
  virtual void overview_scanned(const OverviewScanReport&) {}
};

enum class Icon { None, Information, Question, Warning, Error };
enum class Buttons { Ok, OkCancel, YesNo };
enum class Answer { Ok, Cancel, Yes, No };
enum class Beep { Information, Question, Exclamation, Error };

// The answer a box takes when nobody is asked: OK, Cancel or No.
inline Answer default_answer(Buttons buttons) {
  switch (buttons) {
    case Buttons::OkCancel: return Answer::Cancel;
    case Buttons::YesNo: return Answer::No;
    case Buttons::Ok: break;
  }
  return Answer::Ok;
}

// Message boxes, sounds and the picture viewer. message_box blocks the calling thread until the user
// answers; callers decide themselves when unattended operation takes the default answer instead.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual Answer message_box(const std::string& text, const std::string& caption, Icon icon, Buttons buttons) = 0;
  virtual void beep(Beep kind) = 0;
  // Plays a sound file of the working directory and returns when it has played; silent when missing.
  virtual void play_sound_file(const std::string& file) = 0;
  // Opens a file with the desktop's viewer; false when no program is associated with its type.
  virtual bool open_with_viewer(const std::string& path) = 0;
};

}  // namespace fk

#pragma once
// How the core talks to the status window (or the terminal view): controls by id, posted commands,
// message boxes, sounds and the desktop's picture viewer.

#include <cstdint>
#include <string>

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

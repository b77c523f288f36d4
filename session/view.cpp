// SPDX-License-Identifier: GPL-3.0-or-later
// The status window's texts behind the View's typed events.
#include "session/view.h"

#include <algorithm>

namespace fk {

std::string pending_caption_text(const std::string& group, std::size_t count) {
  return std::to_string(count) + " Pending Downloads From " + group;
}

std::string counters_text(const SessionCounters& c, CountersForm form) {
  const bool window = form == CountersForm::Window;
  return std::to_string(c.pictures) + " picture(s) downloaded from " + std::to_string(c.articles_examined) +
         " articles, " + std::to_string(c.duplicates) + " duplicates skipped, " + std::to_string(c.base64) +
         (window ? " base64, " : " base64 ") + std::to_string(c.unknown_format) + " unknown format" +
         (!window || c.set_progress.empty() ? std::string() : "; " + c.set_progress);
}

void View::group_started(const std::string& group, int, int) {
  set_text(ControlId::GroupName, group);
}

void View::group_counted(int index, int total) {
  set_text(ControlId::GroupCounter, std::to_string(index) + " of " + std::to_string(total) + " news groups");
}

void View::connected_to(const std::string& server, int attempts) {
  set_text(ControlId::ConnectionStatus, server + " (" + std::to_string(attempts) + " connection attempts)");
}

std::string transfer_text(int connections, std::int64_t bytes_per_second) {
  const std::string kb = std::to_string(std::max<std::int64_t>(bytes_per_second, 0) / 1024);
  std::string grouped;
  for (std::size_t i = 0; i < kb.size(); ++i) {
    if (i > 0 && (kb.size() - i) % 3 == 0) grouped += ',';
    grouped += kb[i];
  }
  return std::to_string(connections) + (connections == 1 ? " connection, " : " connections, ") + grouped + " KB/s";
}

void View::transfer_status(const std::string& server, int connections, std::int64_t bytes_per_second) {
  set_text(ControlId::ConnectionStatus, server + " (" + transfer_text(connections, bytes_per_second) + ")");
}

void View::nobody_connected(int attempts, bool waiting) {
  set_text(ControlId::ConnectionStatus, "Nobody... " + std::to_string(attempts) + " connection attempts" +
                                            (waiting ? ", waiting for scheduler" : ""));
}

void View::overview_checking(std::string_view number) {
  std::string text = "Building D/L List ..Checking ";
  text.append(number);
  set_text(ControlId::DownloadStatus, text);
}

void View::pending_counted(const std::string& group, std::size_t count) {
  set_text(ControlId::PendingBox, pending_caption_text(group, count));
}

void View::article_started(std::int64_t number) {
  set_text(ControlId::DownloadStatus, "Downloading Article " + std::to_string(number));
}

void View::article_progress(std::uint32_t line, std::uint32_t lines, std::uint32_t percent) {
  set_text(ControlId::DownloadStatus, "Line " + std::to_string(line) + " of " + std::to_string(lines) + " ( " +
                                          std::to_string(percent) + "% )");
}

void View::counters_changed(const SessionCounters& counters) {
  set_text(ControlId::PictureSummary, counters_text(counters));
}

void View::group_skipped() {
  set_text(ControlId::PendingBox, "Skipping to Next Group");
}

void View::session_ended(SessionEnd reason, const std::string& detail) {
  switch (reason) {
    case SessionEnd::Completed: set_text(ControlId::PendingBox, "Downloads Completed"); break;
    case SessionEnd::Stopped: set_text(ControlId::PendingBox, "Downloads Aborted"); break;
    case SessionEnd::NothingToScan:
      set_text(ControlId::DownloadStatus, detail);
      set_text(ControlId::PendingBox, detail);
      break;
    case SessionEnd::Failed:
      set_text(ControlId::DownloadStatus, detail);
      set_text(ControlId::PendingBox, "Downloads Failed");
      break;
  }
}

void View::certificate_unchecked(const std::string& server) {
  set_text(ControlId::DownloadStatus,
           "WARNING: the certificate of " + server + " is not checked (tls_verify=0)");
}

void View::scheduler_disabled() {
  set_text(ControlId::SchedulerStatus, "Scheduler: Disabled");
}

}  // namespace fk

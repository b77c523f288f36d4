// SPDX-License-Identifier: GPL-3.0-or-later
// The headless run loop: posted commands, the one-second tick, and signals.
#include "app/headless.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include "app/application.h"
#include "app/tee_view.h"
#include "app/terminal_view.h"
#include "app/working_folder.h"
#include "dialup/nmcli_service.h"
#include "store/clock.h"

namespace fk {

namespace {

// Watches SIGINT, SIGTERM and SIGHUP on a thread of its own, so nothing runs inside a signal handler. The
// first asks for the orderly stop; another one during that stop ends the program at once. The thread is
// woken for its own end through an eventfd only this object holds, so no signal can stop the watching.
class SignalWatcher {
 public:
  explicit SignalWatcher(TerminalView& view) : view_(view) {
    sigemptyset(&set_);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set_, sig);
    pthread_sigmask(SIG_BLOCK, &set_, &old_mask_);  // before any other thread starts, so all inherit it
    signal_fd_ = ::signalfd(-1, &set_, SFD_CLOEXEC);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { watch(); });
  }
  ~SignalWatcher() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_fd_, &one, sizeof one);
    thread_.join();
    if (signal_fd_ >= 0) ::close(signal_fd_);
    if (wake_fd_ >= 0) ::close(wake_fd_);
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  }
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;
  int received() const { return received_.load(); }

 private:
  void watch() {
    for (;;) {
      pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {signal_fd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents != 0) return;
      signalfd_siginfo info{};
      if (::read(signal_fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
      const int sig = static_cast<int>(info.ssi_signo);
      if (sig == SIGUSR1) continue;  // swallowed, as it always was here; it must not end the program
      if (received_.load() != 0) {
        // The user insists: whatever is written is whole (files are replaced by rename, logs appended
        // line by line); what is half done is a work file the next start clears.
        static constexpr char kLine[] = "fennick: second signal, ending at once\n";
        [[maybe_unused]] ssize_t w = ::write(STDERR_FILENO, kLine, sizeof kLine - 1);
        ::_exit(128 + sig);
      }
      received_ = sig;
      view_.wake();
    }
  }

  TerminalView& view_;
  sigset_t set_{};
  sigset_t old_mask_{};
  int signal_fd_ = -1;
  int wake_fd_ = -1;
  std::atomic<int> received_{0};
  std::thread thread_;
};

}  // namespace

int change_working_folder(const std::string& dir) {
  if (::chdir(dir.c_str()) == 0) return 0;
  std::fprintf(stderr, "fennick: cannot use %s as the working folder: %s\n", dir.c_str(), std::strerror(errno));
  return 2;
}

namespace {

// Posted commands, the one-second tick and the signals until the window (the terminal) closes. The exit
// status so far: 0, 1 when a one-shot run gave up connecting, or 128 + the signal that stopped it.
int run_loop(Application& app, TerminalView& view, const SignalWatcher& signals, Clock& clock, bool stay) {
  int status = 0;
  // Only a one-shot run gives up on a server it cannot reach; a schedule keeps retrying for days.
  const Settings at_start = app.settings().get();
  const bool one_shot = !stay && !at_start.scheduler_active();
  std::int64_t next_tick = clock.uptime_ms() + 1000;
  bool stopping = false;
  while (!view.window_closed()) {
    std::int64_t wait = std::max<std::int64_t>(0, next_tick - clock.uptime_ms());
    if (auto command = view.wait_command(static_cast<int>(wait))) {
      // Staying, the end of a scan does not end the run: only a signal does.
      if (!(stay && *command == Command::Close && !stopping)) app.run(*command);
    }
    if (int sig = signals.received(); sig != 0 && !stopping) {
      stopping = true;
      status = 128 + sig;
      const char* what = sig == SIGINT ? "interrupted" : sig == SIGHUP ? "hung up" : "terminated";
      view.print(std::string("fennick: ") + what + ", stopping (a second signal ends at once)");
      app.stop();
      app.close();
    }
    if (clock.uptime_ms() >= next_tick) {
      app.tick();
      next_tick += 1000;
    }
    // A name that does not resolve ends the session without Close; the window would retry every minute.
    // So does a picture that could not be written: the next session would fail the same way.
    const int refusal = app.state().refusal.load();
    if (!stay && !stopping && !app.session_running() &&
        (refusal == SessionState::kUnresolvable || refusal == SessionState::kTlsRefused ||
         refusal == SessionState::kWriteFailed || refusal == SessionState::kLoginWanted)) {
      stopping = true;
      app.close();
    }
    const int failed = app.state().failed_connects.load();
    if (!stopping && one_shot && !app.session_running() && failed >= at_start.headless_attempts) {
      stopping = true;
      status = 1;
      view.print("fennick: could not connect to " + at_start.news_server + " after " + std::to_string(failed) +
                 " attempts (headless_attempts=" + std::to_string(at_start.headless_attempts) +
                 "); the reason is in fk.log");
      app.log().log_status("Giving up after " + std::to_string(failed) + " failed connection attempts", 0);
      app.close();
    }
  }
  return status;
}

// The exit status and its line on standard error for a session the server or the disk refused; 0 when
// none was.
int refusal_exit_status(Application& app) {
  const std::string server = app.settings().read([](const Settings& s) { return s.news_server; });
  switch (app.state().refusal.load()) {
    case SessionState::kUnresolvable:
      std::fprintf(stderr, "fennick: the news server name '%s' does not resolve; check news_server in FENNICK.INI\n",
                   server.c_str());
      return 1;
    case SessionState::kGreetingRefused:
      std::fprintf(stderr, "fennick: %s refused the connection (its greeting is in fk.log)\n", server.c_str());
      return 1;
    case SessionState::kWriteFailed: {
      const int error = app.state().write_error.load();
      if (error == ENOSPC || error == EDQUOT)
        std::fprintf(stderr, "fennick: the disk is full: a download could not be written (see fk.log)\n");
      else
        std::fprintf(stderr, "fennick: a download could not be written: %s (see fk.log)\n", std::strerror(error));
      return kExitWriteFailed;
    }
    case SessionState::kTlsRefused:
      std::fprintf(stderr, "fennick: the secure connection to %s was refused (the reason is in fk.log)\n",
                   server.c_str());
      return 1;
    case SessionState::kLoginWanted:
      std::fprintf(stderr, "fennick: the server wants a login: set user and password in the Connection page\n");
      return 1;
    case SessionState::kLoginRefused:
      std::fprintf(stderr, "fennick: %s refused the login; check user and pass in FENNICK.INI\n", server.c_str());
      return 1;
    default: return 0;
  }
}

// Why this folder's setup cannot give a scan that waiting would mend, or empty.
std::string unusable_setup(Application& app) {
  std::string problem = app.settings().read([](const Settings& s) { return connection_setting_problem(s); });
  if (!problem.empty()) return problem + " (or use the window's Setup)";
  if (app.state().subscribed_groups.load() < 1)
    return ::access("newsrc", F_OK) != 0 && ::access("newsrc.new", F_OK) != 0
               ? "no newsrc file: choose news groups with the window's Groups"
               : "no news group is subscribed in newsrc: subscribe some with the window's Groups";
  return {};
}

// A setup that cannot work: a one-shot run ends with status 1 and the reason; a run that stays (serving
// the web view, where the setup can be mended) says why and keeps running (-1, as for a usable setup).
int answer_unusable_setup(Application& app, TerminalView& view, bool stays) {
  const std::string problem = unusable_setup(app);
  if (problem.empty()) return -1;
  if (stays) {
    view.print("fennick: " + problem + "; running on until the setup is mended");
    return -1;
  }
  view.print("fennick: " + problem);
  app.close();
  return 1;
}

}  // namespace

int run_headless(const HeadlessOptions& options) {
  if (!options.dir.empty() && change_working_folder(options.dir) != 0) return 2;
  // Before anything touches a file: a second instance must not even delete the first one's fk.log.
  WorkingFolderClaim folder;
  if (folder.claim() != WorkingFolderClaim::Result::Claimed) {
    std::fprintf(stderr, "fennick: %s\n", folder.message().c_str());
    return 1;
  }
  TerminalView view(stdout, ::isatty(STDOUT_FILENO) == 1);
  SignalWatcher signals(view);
  SystemClock system_clock;
  Clock& clock = options.clock ? *options.clock : system_clock;
  NmcliService dialup_service;
  std::optional<TeeView> tee;
  if (options.add_on) tee.emplace(view, options.add_on->events());
  Application app(tee ? static_cast<View&>(*tee) : view, view, view, clock, dialup_service);
  app.force_unattended();
  if (!options.start_note.empty()) app.add_start_note(options.start_note);
  app.start_up();

  // The add-on goes before the core it looks at.
  struct AddOnRun {
    HeadlessAddOn* add_on = nullptr;
    ~AddOnRun() {
      if (add_on) add_on->stop();
    }
  } add_on_run;
  if (options.add_on) {
    if (!options.add_on->start(app, view)) {
      app.close();
      return 1;
    }
    add_on_run.add_on = options.add_on;
  }

  if (const int status = answer_unusable_setup(app, view, options.stay); status >= 0) return status;
  const int status = run_loop(app, view, signals, clock, options.stay);
  return status != 0 ? status : refusal_exit_status(app);
}

}  // namespace fk

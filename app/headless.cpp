// The headless run loop: posted commands, the one-second tick, and signals.
#include "app/headless.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "app/application.h"
#include "app/terminal_view.h"
#include "dialup/nmcli_service.h"
#include "store/clock.h"

namespace fk {

namespace {

// Waits for SIGINT/SIGTERM on a thread of its own, so nothing runs inside a signal handler.
class SignalWatcher {
 public:
  explicit SignalWatcher(TerminalView& view) : view_(view) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);  // before any other thread starts, so all inherit it
    thread_ = std::thread([this] {
      for (;;) {
        int sig = 0;
        if (sigwait(&set_, &sig) != 0 || sig == SIGUSR1) return;
        received_ = sig;
        view_.wake();
      }
    });
  }
  ~SignalWatcher() {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
    pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
  }
  int received() const { return received_.load(); }

 private:
  TerminalView& view_;
  sigset_t set_{};
  std::atomic<int> received_{0};
  std::thread thread_;
};

}  // namespace

int change_working_folder(const std::string& dir) {
  if (::chdir(dir.c_str()) == 0) return 0;
  std::fprintf(stderr, "fennick: cannot use %s as the working folder: %s\n", dir.c_str(), std::strerror(errno));
  return 2;
}

int run_headless(const HeadlessOptions& options) {
  if (!options.dir.empty() && change_working_folder(options.dir) != 0) return 2;
  TerminalView view(stdout, ::isatty(STDOUT_FILENO) == 1);
  SignalWatcher signals(view);
  SystemClock system_clock;
  Clock& clock = options.clock ? *options.clock : system_clock;
  NmcliService dialup_service;
  Application app(view, view, view, clock, dialup_service);
  app.force_unattended();
  app.start_up();

  int status = 0;
  if (std::string problem = app.settings().read([](const Settings& s) { return connection_setting_problem(s); });
      !problem.empty()) {
    view.print("fennick: " + problem + " (or use the window's Setup)");
    app.close();
    return 1;
  }

  std::int64_t next_tick = clock.uptime_ms() + 1000;
  bool stopping = false;
  while (!view.window_closed()) {
    std::int64_t wait = std::max<std::int64_t>(0, next_tick - clock.uptime_ms());
    if (auto command = view.wait_command(static_cast<int>(wait))) app.run(*command);
    if (int sig = signals.received(); sig != 0 && !stopping) {
      stopping = true;
      status = 128 + sig;
      view.print(std::string("fennick: ") + (sig == SIGINT ? "interrupted" : "terminated") + ", stopping");
      app.stop();
      app.close();
    }
    if (clock.uptime_ms() >= next_tick) {
      app.tick();
      next_tick += 1000;
    }
    // A name that does not resolve ends the session without Close; the window would retry every minute.
    if (!stopping && !app.session_running() &&
        (app.state().refusal == SessionState::kUnresolvable || app.state().refusal == SessionState::kTlsRefused)) {
      stopping = true;
      app.close();
    }
  }
  if (status == 0) {
    const std::string server = app.settings().read([](const Settings& s) { return s.news_server; });
    switch (app.state().refusal.load()) {
      case SessionState::kUnresolvable:
        std::fprintf(stderr, "fennick: the news server name '%s' does not resolve; check news_server in FENNICK.INI\n",
                     server.c_str());
        return 1;
      case SessionState::kGreetingRefused:
        std::fprintf(stderr, "fennick: %s refused the connection (its greeting is in fk.log)\n", server.c_str());
        return 1;
      case SessionState::kTlsRefused:
        std::fprintf(stderr, "fennick: the secure connection to %s was refused (the reason is in fk.log)\n",
                     server.c_str());
        return 1;
      case SessionState::kLoginRefused:
        std::fprintf(stderr, "fennick: %s refused the login; check user and pass in FENNICK.INI\n", server.c_str());
        return 1;
      default: break;
    }
  }
  return status;
}

}  // namespace fk

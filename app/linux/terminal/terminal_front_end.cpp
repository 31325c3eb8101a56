#include "app/linux/terminal/terminal_front_end.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>

#include "app/app_delegate.h"
#include "app/fan_mode.h"
#include "app/linux/event_loop.h"
#include "app/linux/terminal/curses_screen.h"
#include "app/linux/terminal/terminal_ui.h"
#include "app/run_application.h"

namespace app {

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>

namespace {

class TerminalStatusItem final : public StatusItem {
 public:
  explicit TerminalStatusItem(TerminalUi& ui) : ui_(ui) {}
  bool hasButton() const override { return true; }
  void setTitle(std::string_view title) override { ui_.setTitle(title); }
  void setAttributedTitle(const StyledText& title) override { ui_.setAttributedTitle(title); }
  void setMenu(const MenuModel& menu) override { ui_.setMenu(menu); }

 private:
  TerminalUi& ui_;
};

class TerminalStatusBar final : public StatusBar {
 public:
  explicit TerminalStatusBar(TerminalUi& ui) : ui_(ui) {}
  std::unique_ptr<StatusItem> statusItemWithLength(double) override {
    return std::make_unique<TerminalStatusItem>(ui_);
  }

 private:
  TerminalUi& ui_;
};

class TerminalAlerts final : public Alerts {
 public:
  TerminalAlerts(TerminalUi& ui, std::function<bool()> waitForInput)
      : ui_(ui), waitForInput_(std::move(waitForInput)) {}
  void runModal(const Alert& alert) override {
    ui_.runAlert(alert, waitForInput_);
    ui_.draw();
  }

 private:
  TerminalUi& ui_;
  std::function<bool()> waitForInput_;
};

constexpr double kNoticeSeconds = 6.0;

// Sets the script runner's prompt hooks for the life of the front end and clears them after. A
// termination signal that arrives while a prompt is up cancels the prompt; the loop then ends
// through its termination.
class PromptHandover {
 public:
  PromptHandover(SudoScriptRunner& runner, EventLoop& loop, CursesScreen& screen, TerminalUi& ui)
      : runner_(runner), previousCancel_(runner.cancelDescriptor) {
    runner_.cancelDescriptor = loop.signalDescriptor();
    runner_.beforePrompt = [&screen] {
      screen.suspend();
      std::fputs(
          "Quillomatics wants to change how the fans are driven and needs administrator "
          "rights.\n",
          stdout);
      std::fflush(stdout);
    };
    runner_.afterPrompt = [&screen, &ui](const std::string& said) {
      screen.resume();
      // The screen covers what the prompt printed last ("3 incorrect password attempts"): it
      // stays readable on the status line for a while.
      if (!said.empty()) {
        ui.showNotice(said, kNoticeSeconds);
      } else {
        ui.draw();
      }
    };
  }
  ~PromptHandover() {
    runner_.beforePrompt = nullptr;
    runner_.afterPrompt = nullptr;
    runner_.cancelDescriptor = previousCancel_;
  }
  PromptHandover(const PromptHandover&) = delete;
  PromptHandover& operator=(const PromptHandover&) = delete;

 private:
  SudoScriptRunner& runner_;
  int previousCancel_;
};

bool terminalHungUp(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Blocks until a key may be read; false when a termination signal arrived or the terminal went
// away. A size change counts as input, so that the dialog is drawn again.
bool waitForKey(EventLoop& loop, base::SignalPipe& resize, CursesScreen& screen) {
  for (;;) {
    if (loop.pollSignals()) {
      return false;
    }
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {resize.fd(), POLLIN, 0}};
    // The timeout bounds the wait for a signal that arrives just before poll starts.
    const int ready = ::poll(fds, resize.fd() >= 0 ? 2 : 1, 250);
    if (ready < 0 && errno != EINTR) {
      return false;
    }
    if (ready <= 0) {
      continue;
    }
    if (fds[1].revents != 0) {
      resize.drain();
      screen.updateSize();
      return true;
    }
    return (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
  }
}

// The loop's watches for the run: keys go to the menu (an action it names to the delegate, which
// exists by the time the loop runs), a hang-up terminates, a size change redraws.
void watchTerminal(const TerminalServices& services, base::SignalPipe& resize, TerminalUi& ui,
                   const std::shared_ptr<AppDelegate>& delegate) {
  EventLoop& loop = services.loop;
  loop.watchReadable(STDIN_FILENO, [&services, &loop, &ui, &delegate] {
    int key = getch();
    if (key == ERR && terminalHungUp(STDIN_FILENO)) {
      services.application.terminate();
      return;
    }
    for (; key != ERR && !loop.stopped(); key = getch()) {
      if (const auto action = ui.handleKey(key)) {
        delegate->perform(*action);
      }
    }
  });
  if (resize.fd() >= 0) {
    loop.watchReadable(resize.fd(), [&resize, &ui] {
      resize.drain();
      ui.resized();
    });
  }
}

std::optional<int> runInTerminal(const TerminalServices& services,
                                 std::shared_ptr<AppDelegate>& delegate) {
  EventLoop& loop = services.loop;
  // The resize handler comes before curses starts, like the loop's signal handlers, so that
  // curses keeps its hands off SIGWINCH, SIGINT and SIGTERM.
  base::SignalPipe resize{SIGWINCH};
  std::string error;
  std::unique_ptr<CursesScreen> screen = CursesScreen::open(error);
  if (!screen) {
    return std::nullopt;
  }
  TerminalUi ui(*screen);
  PromptHandover handover(services.scripts, loop, *screen, ui);
  // What an action could not do stays readable on the status line for a while.
  services.application.onFailure = [&ui](std::string_view line) {
    ui.showNotice(line, kNoticeSeconds);
  };
  struct StopShowingFailures {
    LinuxApplication& application;
    ~StopShowingFailures() { application.onFailure = nullptr; }
  } stopShowing{services.application};

  TerminalStatusBar statusBar(ui);
  TerminalAlerts alerts(ui,
                        [&loop, &resize, &screen] { return waitForKey(loop, resize, *screen); });
  watchTerminal(services, resize, ui, delegate);
  // What a round of the loop changed (a refresh's title and menu) reaches the terminal in one
  // update, before the loop waits again.
  struct FlushBeforeWait {
    EventLoop& loop;
    ~FlushBeforeWait() { loop.setBeforeWait(nullptr); }
  } flushing{loop};
  loop.setBeforeWait([&ui] { ui.flush(); });

  ui.draw();
  // The delegate is released before the screen and the status bar it refers to. Terminating
  // during launch means the SMC could not be reached and the alert was shown.
  const int status = runApplication(
      delegate,
      AppEnvironment{.smcService = services.smcService,
                     .statusBar = statusBar,
                     .alerts = alerts,
                     .timers = loop,
                     .defaults = services.defaults,
                     .bundle = services.bundle,
                     .scripts = services.scripts,
                     .processes = services.processes,
                     .application = services.application},
      ApplicationRun{
          .terminateRequested = [&services] { return services.application.terminateRequested(); },
          .run =
              [&loop](AppDelegate&) {
                if (!loop.stopped() && !loop.pollSignals()) {
                  loop.run();
                }
                return 0;
              },
          .launchFailed = nullptr});
  const auto signal = loop.terminationSignal();
  return signal ? 128 + *signal : status;
}

}  // namespace

std::optional<int> runTerminalFrontEnd(const TerminalServices& services,
                                       std::shared_ptr<AppDelegate>& delegate) {
  // Wide characters (the degree sign) need the user's character set; numbers keep the "C"
  // formatting, so only the character type is taken from the environment.
  std::setlocale(LC_CTYPE, "");
  try {
    return runInTerminal(services, delegate);
  } catch (const std::exception& e) {
    // The screen was ended while the exception left runInTerminal.
    std::fprintf(stderr, "Quillomatics: %s\n", e.what());
    return 1;
  }
}

std::string terminalHelp() {
  std::string help =
      "Without options, and with standard input and output on a terminal, the status item's\n"
      "title is shown on the top line and its menu below it, refreshed every 3 seconds.\n"
      "\n"
      "Keys:\n"
      "  Space          open or close the menu (Escape closes it)\n"
      "  Up, Down       select a command in the menu; Enter runs it\n"
      "  PgUp, PgDn     scroll a menu taller than the terminal\n";
  for (const FanModeInfo& mode : kFanModes) {
    help += "  ";
    help += mode.key;
    help += "              ";
    help += mode.help;
    help += '\n';
  }
  help +=
      "  u              switch between Celsius and Fahrenheit\n"
      "  q              quit (also Ctrl-C)\n";
  return help;
}

std::string versionText() {
  return std::string("Quillomatics ") + QUILL_VERSION;
}

}  // namespace app

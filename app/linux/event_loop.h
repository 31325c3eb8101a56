// The Linux shell's main loop: file descriptors to watch (the terminal's keys), repeating timers
// (the 3-second refresh) and the termination signals SIGTERM, SIGINT and SIGHUP, all handled in
// normal context on the one thread. The signal handler only writes the signal number to a pipe.
// SIGPIPE is ignored while the loop exists.
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/platform.h"
#include "base/signal_pipe.h"

namespace app {

class EventLoop final : public TimerScheduler {
 public:
  // Installs the signal handlers; only one loop may exist at a time.
  EventLoop();
  ~EventLoop() override;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Calls `onReadable` whenever `fd` has input (or hangs up), until the loop ends.
  void watchReadable(int fd, std::function<void()> onReadable);
  // Stops watching `fd` (at end of input, say); callable from its own callback.
  void unwatch(int fd);

  std::unique_ptr<RepeatingTimer> scheduledTimer(double interval,
                                                 std::function<void()> action) override;

  // Called once a round, after the round's timers and watches and before the loop waits again:
  // where a shell puts on screen, in one update, what the round's callbacks changed.
  void setBeforeWait(std::function<void()> hook) { beforeWait_ = std::move(hook); }

  // Runs until stop() is called or a termination signal arrives.
  void run();
  // Ends run() after the callback in progress; callable from callbacks.
  void stop() { stopped_ = true; }
  bool stopped() const { return stopped_; }
  // The termination signal that ended the loop, if any.
  std::optional<int> terminationSignal() const { return signal_; }
  // Checks for a pending termination signal without waiting; true when one arrived (the loop is
  // then stopped). For shells that run without the loop, like the headless snapshot.
  bool pollSignals();
  // The read end of the termination signals' pipe (-1 when there is none), for a wait that runs
  // outside the loop and must give way to a signal, such as the administrator prompt. It is
  // readable while a signal is pending. Poll it, never read it: the loop reads it on its next
  // round and ends through its termination.
  int signalDescriptor() const { return signals_.fd(); }

  struct Timer;

 private:
  void drainSignals();

  base::SignalPipe signals_{SIGTERM, SIGINT, SIGHUP};
  base::IgnoredSignal brokenPipe_{SIGPIPE};
  std::vector<std::pair<int, std::function<void()>>> watches_;
  std::vector<pollfd> pollFds_;
  std::vector<std::shared_ptr<Timer>> timers_;
  std::function<void()> beforeWait_;
  bool stopped_ = false;
  std::optional<int> signal_;
};

}  // namespace app

// The poll(2) loop with its timers and the self-pipe of the termination signals.
#include "app/linux/event_loop.h"

#include <poll.h>

#include <cerrno>

namespace app {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

struct EventLoop::Timer {
  Clock::duration interval;
  Clock::time_point next;
  std::function<void()> action;
  bool valid = true;
};

namespace {

class LoopTimer final : public RepeatingTimer {
 public:
  explicit LoopTimer(std::shared_ptr<EventLoop::Timer> timer) : timer_(std::move(timer)) {}
  ~LoopTimer() override { timer_->valid = false; }
  void invalidate() override { timer_->valid = false; }
  bool isValid() const override { return timer_->valid; }

 private:
  std::shared_ptr<EventLoop::Timer> timer_;
};

}  // namespace

// The signal handlers and SIGPIPE's are set up by the members: a reader that goes away (a closed
// pipe) must not end the process before the termination sequence has handed the fans back.
EventLoop::EventLoop() = default;

EventLoop::~EventLoop() = default;

void EventLoop::watchReadable(int fd, std::function<void()> onReadable) {
  watches_.emplace_back(fd, std::move(onReadable));
}

void EventLoop::unwatch(int fd) {
  // Marked here and dropped at the top of the next round, so that a callback may unwatch
  // while the loop walks the list.
  for (auto& watch : watches_) {
    if (watch.first == fd) {
      watch.first = -1;
    }
  }
}

std::unique_ptr<RepeatingTimer> EventLoop::scheduledTimer(double interval,
                                                          std::function<void()> action) {
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(interval > 0 ? interval : 0.001));
  auto timer = std::make_shared<Timer>(Timer{period, Clock::now() + period, std::move(action)});
  timers_.push_back(timer);
  return std::make_unique<LoopTimer>(std::move(timer));
}

void EventLoop::drainSignals() {
  if (const auto signal = signals_.drain()) {
    signal_ = signal;
    stopped_ = true;
  }
}

bool EventLoop::pollSignals() {
  if (signals_.piped()) {
    drainSignals();
  }
  return signal_.has_value();
}

void EventLoop::run() {
  while (!stopped_) {
    if (beforeWait_) {
      beforeWait_();
    }
    std::erase_if(timers_, [](const auto& t) { return !t->valid; });
    std::erase_if(watches_, [](const auto& w) { return w.first < 0; });
    int timeoutMs = -1;
    const auto now = Clock::now();
    for (const auto& timer : timers_) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(timer->next - now).count();
      const int ms = wait < 0 ? 0 : static_cast<int>(std::min<long long>(wait, 60'000));
      timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
    }

    // Kept from round to round: a wait allocates nothing.
    std::vector<pollfd>& fds = pollFds_;
    fds.clear();
    fds.push_back(pollfd{signals_.fd(), POLLIN, 0});
    for (const auto& [fd, callback] : watches_) {
      fds.push_back(pollfd{fd, POLLIN, 0});
    }
    const int ready = poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0 && errno != EINTR) {
      stopped_ = true;
      break;
    }
    if (fds[0].revents != 0) {
      drainSignals();
      if (stopped_) {
        break;
      }
    }
    for (std::size_t i = 1; i < fds.size() && !stopped_; ++i) {
      if (fds[i].revents != 0 && watches_[i - 1].first >= 0) {
        // Copy: the callback may add watches.
        auto callback = watches_[i - 1].second;
        callback();
      }
    }
    const auto after = Clock::now();
    for (std::size_t i = 0; i < timers_.size() && !stopped_; ++i) {
      const auto timer = timers_[i];
      if (timer->valid && timer->next <= after) {
        // Fixed rate; a late tick is not made up with a burst.
        while (timer->next <= after) {
          timer->next += timer->interval;
        }
        timer->action();
      }
    }
  }
}

}  // namespace app

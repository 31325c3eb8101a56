// The Linux event loop: timers, watched descriptors and the termination signals.
#include "app/linux/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

namespace app {

namespace {

TEST(EventLoop, RepeatingTimerTicksUntilStopped) {
  EventLoop loop;
  int ticks = 0;
  auto timer = loop.scheduledTimer(0.01, [&] {
    if (++ticks == 3) {
      loop.stop();
    }
  });
  loop.run();
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(loop.terminationSignal());
}

TEST(EventLoop, InvalidatedTimerNeverTicks) {
  EventLoop loop;
  int ticks = 0;
  auto timer = loop.scheduledTimer(0.005, [&] { ++ticks; });
  timer->invalidate();
  EXPECT_FALSE(timer->isValid());
  auto stopper = loop.scheduledTimer(0.03, [&] { loop.stop(); });
  loop.run();
  EXPECT_EQ(ticks, 0);
}

TEST(EventLoop, WatchedInputIsDelivered) {
  EventLoop loop;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string got;
  loop.watchReadable(fds[0], [&] {
    char c;
    if (read(fds[0], &c, 1) == 1) {
      got += c;
    }
    if (got == "ab") {
      loop.stop();
    }
  });
  ASSERT_EQ(write(fds[1], "ab", 2), 2);
  loop.run();
  EXPECT_EQ(got, "ab");
  close(fds[0]);
  close(fds[1]);
}

TEST(EventLoop, UnwatchedInputAtEndOfFileDoesNotSpin) {
  EventLoop loop;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[1]);
  int calls = 0;
  loop.watchReadable(fds[0], [&] {
    ++calls;
    char c;
    if (read(fds[0], &c, 1) <= 0) {
      loop.unwatch(fds[0]);
    }
  });
  auto stopper = loop.scheduledTimer(0.05, [&] { loop.stop(); });
  loop.run();
  EXPECT_EQ(calls, 1);
  close(fds[0]);
}

TEST(EventLoop, TerminationSignalsEndTheLoop) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    EventLoop loop;
    auto timer = loop.scheduledTimer(0.01, [signal] { raise(signal); });
    loop.run();
    EXPECT_EQ(loop.terminationSignal(), signal);
  }
}

TEST(EventLoop, PollSignalsSeesASignalWithoutRunning) {
  EventLoop loop;
  EXPECT_FALSE(loop.pollSignals());
  raise(SIGTERM);
  EXPECT_TRUE(loop.pollSignals());
  EXPECT_TRUE(loop.stopped());
}

}  // namespace

}  // namespace app

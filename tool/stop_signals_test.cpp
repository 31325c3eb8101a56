#include "tool/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace tool {

namespace {

using std::chrono::milliseconds;

TEST(PosixStopSignals, UnarmedWaitIsASleep) {
  PosixStopSignals signals;
  EXPECT_FALSE(signals.stopRequested());
  EXPECT_FALSE(signals.waitForStop(milliseconds(5)));
}

TEST(PosixStopSignals, TermAndIntRequestAStop) {
  for (int sig : {SIGTERM, SIGINT}) {
    PosixStopSignals signals;
    ASSERT_TRUE(signals.arm());
    EXPECT_FALSE(signals.waitForStop(milliseconds(1)));
    raise(sig);  // handled: the process goes on
    EXPECT_TRUE(signals.stopRequested());
    EXPECT_TRUE(signals.waitForStop(milliseconds(0)));
  }
}

TEST(PosixStopSignals, SignalWakesALongWait) {
  PosixStopSignals signals;
  ASSERT_TRUE(signals.arm());
  std::thread sender([] {
    std::this_thread::sleep_for(milliseconds(20));
    kill(getpid(), SIGTERM);
  });
  // Without the wake-up this would sleep the whole minute.
  EXPECT_TRUE(signals.waitForStop(milliseconds(60000)));
  sender.join();
}

TEST(PosixStopSignals, EndsWithThePreviousHandlingRestored) {
  struct sigaction before {};
  sigaction(SIGTERM, nullptr, &before);
  {
    PosixStopSignals signals;
    signals.arm();
  }
  struct sigaction after {};
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace

}  // namespace tool

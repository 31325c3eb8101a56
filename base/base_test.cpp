#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "base/io.h"
#include "base/signal_pipe.h"
#include "base/unique_fd.h"

namespace {

TEST(SignalPipe, EachSignalWakesOnlyItsOwnPipeAndThePreviousHandlingComesBack) {
  struct sigaction before {};
  sigaction(SIGUSR1, nullptr, &before);
  {
    base::SignalPipe first{SIGUSR1};
    base::SignalPipe second{SIGUSR2};
    ASSERT_TRUE(first.piped());
    raise(SIGUSR1);
    raise(SIGUSR1);
    EXPECT_TRUE(first.caught());
    EXPECT_FALSE(second.caught());
    EXPECT_EQ(second.drain(), std::nullopt);
    EXPECT_EQ(first.drain(), SIGUSR1);
    EXPECT_EQ(first.drain(), std::nullopt);  // emptied; the flag stays
    EXPECT_TRUE(first.caught());
  }
  struct sigaction after {};
  sigaction(SIGUSR1, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(WholeIo, ReadStopsPastTheLimitAndWritesLandAtTheirOffset) {
  char name[] = "/tmp/base_test.XXXXXX";
  base::UniqueFd fd(mkstemp(name));
  ASSERT_TRUE(fd);
  unlink(name);
  ASSERT_TRUE(base::writeAll(fd.get(), std::string(10000, 'a')));
  ASSERT_TRUE(base::writeAllAt(fd.get(), "bc", 2, 1));

  lseek(fd.get(), 0, SEEK_SET);
  std::string all;
  ASSERT_TRUE(base::readAll(fd.get(), all, 1 << 20));
  EXPECT_EQ(all.size(), 10000u);
  EXPECT_EQ(all.substr(0, 4), "abca");

  lseek(fd.get(), 0, SEEK_SET);
  std::string some;
  ASSERT_TRUE(base::readAll(fd.get(), some, 100));
  EXPECT_GT(some.size(), 100u);  // the caller sees it went past and refuses it
  EXPECT_LT(some.size(), 10000u);
}

}  // namespace

// Opening only regular files: other kinds of file are refused without being opened.
#include "sim/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <future>

#include "sim/sim_device.h"
#include "sim/testing/unprivileged.h"

namespace {

using sim::testing::SharedTempDir;

TEST(RegularFile, OtherKindsAreRefusedWithoutBeingOpened) {
  SharedTempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Opening a FIFO for reading waits for a writer: a refusal that comes back at once shows the
  // FIFO was never opened.
  auto opened = std::async(std::launch::async, [&] {
    const int fd = sim::openRegularFile(fifo, O_RDONLY);
    return std::pair(fd, errno);
  });
  if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    const int writer = open(fifo.c_str(), O_WRONLY);  // let the blocked open finish
    close(writer);
    FAIL() << "the FIFO was opened";
  }
  const auto [fd, error] = opened.get();
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(error, ENODEV);

  errno = 0;
  EXPECT_EQ(sim::openRegularFile("/dev/null", O_RDWR), -1);
  EXPECT_EQ(errno, ENODEV);
  EXPECT_EQ(sim::openRegularFile(dir.path(), O_RDONLY), -1);
  EXPECT_EQ(errno, ENODEV);
  const auto device = sim::Device::open("/dev/null");
  ASSERT_FALSE(device);
  EXPECT_NE(device.error().find("not a regular file"), std::string::npos);
}

TEST(RegularFile, LinksAreRefusedOnlyAtTheLastComponent) {
  SharedTempDir dir;
  ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
  std::ofstream(dir.file("real/file")) << "content";
  ASSERT_EQ(symlink(dir.file("real/file").c_str(), dir.file("link").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("real").c_str(), dir.file("dirlink").c_str()), 0);

  errno = 0;
  EXPECT_EQ(sim::openRegularFile(dir.file("link"), O_RDONLY), -1);
  EXPECT_EQ(errno, ELOOP);
  EXPECT_EQ(sim::openRegularFile(dir.file("missing"), O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);

  // A linked directory on the way is fine; the file is opened with the access asked for.
  const int fd = sim::openRegularFile(dir.file("dirlink/file"), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(write(fd, "C", 1), 1);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, O_RDWR);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  close(fd);
  std::ifstream in(dir.file("real/file"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "Content");
}

}  // namespace

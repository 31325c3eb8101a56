// What opening a device does to a file that is no device, as the kernel reports it: watching
// services act on a file opened for writing even when nothing is written, so a file that fails
// the checks must only ever have been opened for reading.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <fstream>

#include "sim/sim_device.h"
#include "sim/testing/unprivileged.h"

namespace {

using sim::testing::SharedTempDir;

// Every inotify event mask reported for the watched file so far, or'ed together.
std::uint32_t eventsSoFar(int watch) {
  std::uint32_t seen = 0;
  alignas(inotify_event) char buffer[4096];
  ssize_t n;
  while ((n = read(watch, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      seen |= event->mask;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return seen;
}

TEST(DeviceOpen, FileThatIsNoDeviceIsNeverOpenedForWriting) {
  SharedTempDir dir;
  const std::string device = dir.file("mac.dev");
  ASSERT_TRUE(
      sim::createDevice(device, sim::ProfileSource::builtin("MacBookPro16,1"), {.frozen = true}));
  const std::string notes = dir.file("notes.conf");
  std::ofstream(notes) << std::string(100000, 'x');
  const std::string small = dir.file("small");
  std::ofstream(small) << "QUILLSMC";

  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  for (const std::string& file : {device, notes, small}) {
    ASSERT_GE(inotify_add_watch(watch, file.c_str(), IN_OPEN | IN_CLOSE | IN_MODIFY), 0);
  }

  // The watch sees a writable open: a valid device of our own is opened for writing.
  { EXPECT_TRUE(sim::Device::open(device)); }
  EXPECT_TRUE(eventsSoFar(watch) & IN_CLOSE_WRITE);

  for (const std::string& file : {notes, small}) {
    EXPECT_FALSE(sim::Device::open(file)) << file;
    const std::uint32_t seen = eventsSoFar(watch);
    EXPECT_TRUE(seen & IN_CLOSE_NOWRITE) << file;               // it was looked at ...
    EXPECT_FALSE(seen & (IN_CLOSE_WRITE | IN_MODIFY)) << file;  // ... and only read
  }
  // Asked for read-only access, even a valid device is not opened for writing.
  { EXPECT_TRUE(sim::Device::open(device, sim::Device::Access::readOnly)); }
  EXPECT_FALSE(eventsSoFar(watch) & IN_CLOSE_WRITE);
  close(watch);
}

}  // namespace

// The shared device: what one process writes another sees, privileges, key states, faults,
// validation of what is opened, and the shipped profiles read back byte for byte.
#include "sim/sim_device.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "sim/key_codec.h"
#include "sim/sim_io_service.h"
#include "sim/testing/scoped_env.h"
#include "sim/testing/unprivileged.h"
#include "smc/smc_client.h"

namespace {

using sim::testing::runUnprivileged;
using sim::testing::ScopedEnv;
using sim::testing::SharedTempDir;

smc::SMCKeyData_t request(std::string_view key, std::uint8_t command, std::uint32_t size = 0,
                          std::vector<std::uint8_t> bytes = {}) {
  smc::SMCKeyData_t in{};
  in.key = smc::fourCC(key);
  in.data8 = command;
  in.keyInfo.dataSize = size;
  std::copy(bytes.begin(), bytes.end(), in.bytes);
  return in;
}

smc::IOReturn writeKey(sim::Device& d, std::string_view key, std::vector<std::uint8_t> bytes) {
  smc::SMCKeyData_t out{};
  const auto size = static_cast<std::uint32_t>(bytes.size());
  return d.exchange(request(key, smc::SMC_CMD_WRITE_BYTES, size, std::move(bytes)), out);
}

std::vector<std::uint8_t> readKey(sim::Device& d, std::string_view key,
                                  smc::IOReturn* result = nullptr) {
  smc::SMCKeyData_t info{};
  smc::IOReturn r = d.exchange(request(key, smc::SMC_CMD_READ_KEYINFO), info);
  if (r == smc::kIOReturnSuccess) {
    smc::SMCKeyData_t out{};
    r = d.exchange(request(key, smc::SMC_CMD_READ_BYTES, info.keyInfo.dataSize), out);
    if (r == smc::kIOReturnSuccess) {
      if (result)
        *result = r;
      return {out.bytes, out.bytes + std::min<std::uint32_t>(info.keyInfo.dataSize, 32)};
    }
  }
  if (result)
    *result = r;
  return {};
}

class SimDevice : public ::testing::Test {
 protected:
  void create(std::string_view profile,
              sim::CreateOptions options = {.frozen = true,
                                            .writers = sim::testing::suiteWriters()}) {
    const auto st = sim::createDevice(path, sim::ProfileSource::builtin(profile), options);
    ASSERT_TRUE(st) << st.error();
  }
  sim::Device open() {
    auto d = sim::Device::open(path);
    EXPECT_TRUE(d) << d.error();
    return std::move(*d);
  }

  SharedTempDir dir;
  std::string path = dir.file("mac.dev");
};

TEST_F(SimDevice, ProcessesSeeEachOthersWritesAtOnce) {
  create("MacBookPro16,1");
  auto device = open();
  ASSERT_EQ(writeKey(device, "F0Md", {1}), smc::kIOReturnSuccess);
  // Another process, with its own connection, sees the write and answers with one of its own.
  const int child = runUnprivileged([&] {
    auto other = sim::Device::open(path);
    if (!other || readKey(*other, "F0Md") != std::vector<std::uint8_t>{1}) {
      return 1;
    }
    return 0;
  });
  EXPECT_EQ(child, 0);
  const pid_t pid = fork();
  if (pid == 0) {
    auto other = sim::Device::open(path);
    _exit(other && writeKey(*other, "F0Tg", {0x00, 0x80, 0x3B, 0x45}) == smc::kIOReturnSuccess ? 0
                                                                                               : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readKey(device, "F0Tg"), (std::vector<std::uint8_t>{0x00, 0x80, 0x3B, 0x45}));
}

TEST_F(SimDevice, UnprivilegedWritesAreRefusedAndChangeNothing) {
  if (!sim::testing::droppingPrivileges()) {
    GTEST_SKIP() << "needs root to act as another user";
  }
  create("MacBookPro16,1");
  auto device = open();
  const auto before = readKey(device, "F0Md");
  const int child = runUnprivileged([&] {
    auto other = sim::Device::open(path);
    if (!other || other->writable() || other->privileged()) {
      return 2;
    }
    // Reading is allowed; writing a writable key is not.
    smc::IOReturn r = smc::kIOReturnError;
    readKey(*other, "F0Md", &r);
    if (r != smc::kIOReturnSuccess) {
      return 3;
    }
    return writeKey(*other, "F0Md", {1}) == smc::kIOReturnNotPrivileged ? 0 : 1;
  });
  EXPECT_EQ(child, 0);
  EXPECT_EQ(readKey(device, "F0Md"), before);
}

TEST_F(SimDevice, DeviceWritePermissionGrantsWrites) {
  if (!sim::testing::droppingPrivileges()) {
    GTEST_SKIP() << "needs root to act as another user";
  }
  create("MacBookPro16,1", {.frozen = true, .writers = sim::Writers::anyone});
  auto device = open();
  const int child = runUnprivileged([&] {
    auto other = sim::Device::open(path);
    return other && other->privileged() && writeKey(*other, "F0Md", {1}) == smc::kIOReturnSuccess
               ? 0
               : 1;
  });
  EXPECT_EQ(child, 0);
  EXPECT_EQ(readKey(device, "F0Md"), std::vector<std::uint8_t>{1});
}

TEST_F(SimDevice, KeysWithoutTheWritableBitAndWrongSizesAreRefused) {
  create("MacBookPro16,1");
  auto device = open();
  ASSERT_TRUE(device.privileged());
  const auto before = readKey(device, "F0Mx");  // attributes 84
  EXPECT_EQ(writeKey(device, "F0Mx", {0, 0, 0, 0}), smc::kIOReturnNotPrivileged);
  EXPECT_EQ(writeKey(device, "F0Md", {1, 0}), smc::kIOReturnBadArgument);
  EXPECT_EQ(readKey(device, "F0Mx"), before);
  EXPECT_EQ(readKey(device, "F0Md"), std::vector<std::uint8_t>{0});
}

TEST_F(SimDevice, UnknownKeysFailAtKeyInfoAndUnreadableKeysAtTheRead) {
  create("MacBookPro13,3");
  auto device = open();
  smc::SMCKeyData_t out{};
  EXPECT_NE(device.exchange(request("ZZZZ", smc::SMC_CMD_READ_KEYINFO), out),
            smc::kIOReturnSuccess);
  // "AC-D" was recorded unreadable: key info answers, the read does not.
  ASSERT_EQ(device.exchange(request("AC-D", smc::SMC_CMD_READ_KEYINFO), out),
            smc::kIOReturnSuccess);
  EXPECT_EQ(out.keyInfo.dataSize, 1u);
  EXPECT_EQ(out.keyInfo.dataType, smc::fourCC("ui8 "));
  EXPECT_EQ(out.keyInfo.dataAttributes, 0x50);
  EXPECT_NE(device.exchange(request("AC-D", smc::SMC_CMD_READ_BYTES, 1), out),
            smc::kIOReturnSuccess);
  EXPECT_EQ(device.exchange(request("AC-D", 7), out), smc::kIOReturnBadArgument);
}

TEST_F(SimDevice, ShippedProfilesReadBackEveryKeyExactlyThroughTheService) {
  for (const auto& builtin : sim::builtinProfiles()) {
    SCOPED_TRACE(std::string(builtin.name));
    auto profile = sim::parseProfile(builtin.text, builtin.file);
    ASSERT_TRUE(profile) << profile.error();
    ASSERT_TRUE(sim::createDevice(path, sim::ProfileSource::parsed(*profile),
                                  {.frozen = true, .replace = true}));
    sim::DeviceIOService service(path);
    smc::SMCClient client(service);
    ASSERT_TRUE(client.open());
    // Twice: the second pass finds the keys through the connection's lookup cache, which the
    // first filled past its size.
    for (int pass = 0; pass < 2; ++pass) {
      for (const auto& key : profile->keys) {
        const auto raw = client.readRaw(key.text);
        if (!key.readable) {
          EXPECT_FALSE(raw) << key.text;
          continue;
        }
        ASSERT_TRUE(raw) << key.text;
        EXPECT_EQ(raw->dataType, key.dataType) << key.text;
        EXPECT_EQ(raw->dataSize, static_cast<std::int32_t>(key.dataSize)) << key.text;
        const std::size_t n = std::min<std::size_t>(key.bytes.size(), 32);
        EXPECT_TRUE(std::equal(raw->bytes.begin(), raw->bytes.end(), key.bytes.begin(),
                               key.bytes.begin() + static_cast<std::ptrdiff_t>(n)) &&
                    raw->bytes.size() == n)
            << key.text;
      }
    }
    client.close();
  }
}

TEST_F(SimDevice, ABareDumpMakesADevice) {
  const auto* builtin = sim::findBuiltinProfile("MacBookPro13,3");
  ASSERT_NE(builtin, nullptr);
  const std::string text(builtin->text);
  const std::string dump = text.substr(text.find("[keys]\n") + 7);
  const std::string dumpPath = dir.file("MacBookPro13,3.txt");
  std::ofstream(dumpPath) << dump;
  ASSERT_TRUE(sim::createDevice(path, sim::ProfileSource::file(dumpPath), {.frozen = true}));
  auto device = open();
  EXPECT_EQ(readKey(device, "FS! "), (std::vector<std::uint8_t>{0, 0}));
  EXPECT_EQ(readKey(device, "F0Ac"), (std::vector<std::uint8_t>{0x21, 0xD4}));
  EXPECT_EQ(device.snapshot().fans.size(), 2u);
}

TEST_F(SimDevice, OnlyValidDevicesAreOpenedAndNothingElseIsReplacedOrRemoved) {
  const std::string other = dir.file("notes.txt");
  std::ofstream(other) << std::string(100000, 'x');
  EXPECT_FALSE(sim::Device::open(other));
  EXPECT_FALSE(
      sim::createDevice(other, sim::ProfileSource::builtin("MacBookPro16,1"), {.replace = true}));
  EXPECT_FALSE(sim::destroyDevice(other));
  std::ifstream in(other);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(100000, 'x'));

  create("MacBookPro16,1");
  const std::string link = dir.file("link.dev");
  ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
  const auto viaLink = sim::Device::open(link);
  ASSERT_FALSE(viaLink);
  EXPECT_NE(viaLink.error().find("symbolic link"), std::string::npos);
  EXPECT_FALSE(sim::Device::open(dir.path()));
  EXPECT_FALSE(sim::createDevice(path, sim::ProfileSource::builtin("MacBookPro16,1")));

  // A device cut short is damaged, not trusted.
  ASSERT_EQ(truncate(path.c_str(), 40000), 0);
  const auto cut = sim::Device::open(path);
  ASSERT_FALSE(cut);
  EXPECT_NE(cut.error().find("damaged"), std::string::npos);

  const auto missing = sim::Device::open(dir.file("none.dev"));
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("no such device"), std::string::npos);
}

TEST_F(SimDevice, FaultsSwitchOnAndOffWhileConnectionsStayOpen) {
  create("MacBookPro16,1");
  auto setter = open();
  auto device = open();
  smc::IOReturn r = smc::kIOReturnSuccess;

  ASSERT_TRUE(setter.setKeyState("TC0P", sim::KeyState::missing));
  readKey(device, "TC0P", &r);
  EXPECT_EQ(r, smc::kIOReturnNotFound);
  ASSERT_TRUE(setter.setKeyState("TC0P", sim::KeyState::unreadable));
  smc::SMCKeyData_t out{};
  EXPECT_EQ(device.exchange(request("TC0P", smc::SMC_CMD_READ_KEYINFO), out),
            smc::kIOReturnSuccess);
  readKey(device, "TC0P", &r);
  EXPECT_EQ(r, smc::kIOReturnNotReadable);
  ASSERT_TRUE(setter.clearFaults());
  readKey(device, "TC0P", &r);
  EXPECT_EQ(r, smc::kIOReturnSuccess);
  readKey(device, "AC-E", &r);  // recorded unreadable: clearing faults does not change that
  EXPECT_EQ(r, smc::kIOReturnNotReadable);

  ASSERT_TRUE(setter.addFault({sim::FaultKind::keyInfoFails, sim::layout::kAllKeys}));
  EXPECT_EQ(device.exchange(request("FNum", smc::SMC_CMD_READ_KEYINFO), out), smc::kIOReturnError);
  ASSERT_TRUE(setter.clearFaults());

  // One in three reads of a key fails, counted per connection.
  ASSERT_TRUE(setter.addFault({sim::FaultKind::readFails, smc::fourCC("FNum"), 3}));
  int failures = 0;
  for (int i = 0; i < 9; ++i) {
    readKey(device, "FNum", &r);
    failures += r != smc::kIOReturnSuccess;
  }
  EXPECT_EQ(failures, 3);
  readKey(device, "TC0P", &r);
  EXPECT_EQ(r, smc::kIOReturnSuccess);
  ASSERT_TRUE(setter.removeFaults(sim::FaultKind::readFails, smc::fourCC("FNum")));

  ASSERT_TRUE(setter.addFault({sim::FaultKind::writeRefused, smc::fourCC("F0Md")}));
  EXPECT_EQ(writeKey(device, "F0Md", {1}), smc::kIOReturnNotPrivileged);
  EXPECT_EQ(readKey(device, "F0Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(writeKey(device, "F1Md", {1}), smc::kIOReturnSuccess);

  // Value faults are encoded for each key's type; the stored value is untouched.
  ASSERT_TRUE(setter.addFault({sim::FaultKind::value, sim::layout::kTemperatureKeys, 0, NAN}));
  ASSERT_TRUE(setter.addFault({sim::FaultKind::value, smc::fourCC("F0Ac"), 0, INFINITY}));
  EXPECT_EQ(readKey(device, "TC0P"), (std::vector<std::uint8_t>{0x80, 0x00}));  // sp78
  EXPECT_EQ(readKey(device, "F0Ac"), (std::vector<std::uint8_t>{0x00, 0x00, 0x80, 0x7F}));
  EXPECT_EQ(readKey(device, "FNum"), std::vector<std::uint8_t>{2});
  ASSERT_TRUE(setter.addFault({sim::FaultKind::value, smc::fourCC("F0Ac"), 0, -40}));
  EXPECT_EQ(setter.faults().size(), 3u);  // replaced, not stacked
  EXPECT_EQ(readKey(device, "F0Ac"), (std::vector<std::uint8_t>{0x00, 0x00, 0x20, 0xC2}));
  ASSERT_TRUE(setter.addFault({sim::FaultKind::slow, sim::layout::kAllKeys, 0, 100}));
  readKey(device, "FNum", &r);
  EXPECT_EQ(r, smc::kIOReturnSuccess);
  ASSERT_TRUE(setter.clearFaults());
  EXPECT_TRUE(setter.faults().empty());
  EXPECT_EQ(readKey(device, "TC0P"), (std::vector<std::uint8_t>{0x26, 0x30}));
}

TEST_F(SimDevice, ReadersNeverSeeATornValue) {
  create("MacBookPro16,1");
  auto device = open();
  const std::vector<std::uint8_t> a{0xAA, 0xAA, 0xAA, 0xAA};
  const std::vector<std::uint8_t> b{0x55, 0x55, 0x55, 0x55};
  const pid_t pid = fork();
  if (pid == 0) {
    auto writer = sim::Device::open(path);
    for (int i = 0; writer && i < 20000; ++i) {
      writer->setBytes("F0Tg", (i & 1) ? b : a);
    }
    _exit(0);
  }
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    const auto v = readKey(device, "F0Tg");
    torn += !(v == a || v == b || v == std::vector<std::uint8_t>{0x00, 0x80, 0xE5, 0x44});
  }
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(torn, 0);
}

TEST_F(SimDevice, TheDefaultDeviceIsCreatedInTheUsersRuntimeDirectoryOnce) {
  const ScopedEnv named("QUILLOMATICS_SMC_DEVICE", nullptr);
  const ScopedEnv sudo("SUDO_UID", nullptr);
  const ScopedEnv pkexec("PKEXEC_UID", nullptr);
  const std::string runtime = dir.file("run");
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  const ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.c_str());
  EXPECT_EQ(sim::devicePath(), runtime + "/quillomatics-smc.dev");
  {
    auto device = sim::openDefaultDevice();
    ASSERT_TRUE(device) << device.error();
    EXPECT_EQ(device->snapshot().profile, "MacBookPro16,1");
    // A new built-in machine works in bursts, so its readings move.
    EXPECT_EQ(device->snapshot().loadMode, sim::layout::LoadMode::pattern);
    ASSERT_TRUE(device->setLoad(0.9));
  }
  auto again = sim::openDefaultDevice();
  ASSERT_TRUE(again);
  EXPECT_DOUBLE_EQ(again->snapshot().sources.front().load, 0.9);
  // The platform's service finds it, and an SMCClient reads it.
  auto service = smc::makeSystemIOService();
  smc::SMCClient client(*service);
  ASSERT_TRUE(client.open());
  EXPECT_EQ(client.readFanCount(), 2);
  client.close();

  // A device the user named is never made.
  const ScopedEnv absent("QUILLOMATICS_SMC_DEVICE", path.c_str());
  const auto missing = sim::openDefaultDevice();
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), path + ": no such device (smc-sim create makes one)");
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

// XDG_RUNTIME_DIR is taken only when it is a directory itself, the user's, and closed to others;
// root working for a user through sudo takes no directory from the environment at all.
TEST_F(SimDevice, TheDefaultDirectoryIsOnlyAPlaceOfTheUsersOwn) {
  const ScopedEnv sudo("SUDO_UID", nullptr);
  const ScopedEnv pkexec("PKEXEC_UID", nullptr);
  const std::string runtime = dir.file("run");
  const std::string open = dir.file("open");
  const std::string link = dir.file("link");
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 0755), 0);
  ASSERT_EQ(symlink(runtime.c_str(), link.c_str()), 0);
  for (const std::string& candidate : {open, link, std::string("run")}) {
    const ScopedEnv xdg("XDG_RUNTIME_DIR", candidate.c_str());
    EXPECT_NE(sim::defaultDeviceDirectory(), candidate);
  }
  const ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.c_str());
  EXPECT_EQ(sim::defaultDeviceDirectory(), runtime);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(runtime.c_str(), 12345, 12345), 0);
    const ScopedEnv asUser("SUDO_UID", "12345");
    // From a login session of another user the claim does not count at all (RootSafety.*).
    if (sim::actingUser().uid != 12345) {
      return;
    }
    EXPECT_EQ(sim::defaultDeviceDirectory(), "/tmp/quillomatics-12345");
    // Nor does it make that user's directory: it would be root's.
    EXPECT_FALSE(sim::prepareDefaultDeviceDirectory());
    EXPECT_NE(access("/tmp/quillomatics-12345", F_OK), 0);
  }
}

TEST_F(SimDevice, NoServiceWithoutAValidDevice) {
  sim::DeviceIOService service(dir.file("absent.dev"));
  smc::SMCClient client(service);
  EXPECT_FALSE(client.open());
  EXPECT_EQ(service.getMatchingService("AppleSMC"), 0u);
}

}  // namespace

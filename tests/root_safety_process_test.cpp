// ventwarden runs as root with whatever environment sudo keeps: none of it may make the tool run
// other code or write anywhere but the SMC device and its own pid file.
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/sim_device.h"
#include "sim/testing/unprivileged.h"
#include "tests/support/test_helpers.h"

namespace {

namespace fs = std::filesystem;
using sim::testing::execAsIs;
using sim::testing::SharedTempDir;

const std::string kTool = VENTWARDEN_PATH;

// Whether the executable names a dynamic loader (a PT_INTERP program header).
bool hasInterpreter(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr header{};
  in.read(reinterpret_cast<char*>(&header), sizeof header);
  for (int i = 0; in && i < header.e_phnum; ++i) {
    Elf64_Phdr program{};
    in.seekg(static_cast<std::streamoff>(header.e_phoff + i * header.e_phentsize));
    in.read(reinterpret_cast<char*>(&program), sizeof program);
    if (in && program.p_type == PT_INTERP) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  return names;
}

std::optional<double> fanMode(const std::string& device) {
  auto d = sim::Device::open(device, sim::Device::Access::readOnly);
  return d ? d->value("F0Md") : std::nullopt;
}

class RootSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      GTEST_SKIP() << "needs root, as the tool has";
    }
    device = dir.file("smc.dev");
    ASSERT_TRUE(
        sim::createDevice(device, sim::ProfileSource::builtin("MacBookPro16,1"), {.frozen = true}));
  }

  SharedTempDir dir;
  std::string device;
};

TEST_F(RootSafety, LoaderVariablesPutNoCodeIntoTheTool) {
  if (hasInterpreter(kTool)) {
    GTEST_SKIP() << "this build links the tool dynamically (sanitizers)";
  }
  const std::string canary = dir.file("canary");
  const std::vector<std::string> env = {"LD_PRELOAD=" + std::string(PRELOAD_CANARY_PATH),
                                        "LD_AUDIT=" + std::string(PRELOAD_CANARY_PATH),
                                        "LD_LIBRARY_PATH=" + dir.path(), "QUILL_CANARY=" + canary,
                                        "QUILLOMATICS_SMC_DEVICE=" + device};
  // The library works: a dynamically linked program started the same way runs it.
  ASSERT_EQ(execAsIs({"/bin/true"}, env).status, 0);
  ASSERT_TRUE(fs::exists(canary));
  fs::remove(canary);

  const auto run = execAsIs({kTool, "max"}, env);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "OK\n");
  EXPECT_FALSE(fs::exists(canary));
}

TEST_F(RootSafety, DeviceVariableOpensNothingButDevices) {
  const std::string text = dir.file("notes");
  std::ofstream(text) << std::string(200000, 'x');
  const std::string small = dir.file("small");
  std::ofstream(small) << "QUILLSMC";
  ASSERT_EQ(symlink(device.c_str(), dir.file("link.dev").c_str()), 0);
  ASSERT_EQ(symlink("/dev", dir.file("devlink").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0666), 0);
  const std::string before = slurp(device);
  // Opened for writing at all, even with nothing written, would show as a writer's close.
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, text.c_str(), IN_CLOSE_WRITE | IN_MODIFY), 0);
  ASSERT_GE(inotify_add_watch(watch, small.c_str(), IN_CLOSE_WRITE | IN_MODIFY), 0);

  for (const std::string& target :
       {text, small, dir.file("link.dev"), dir.file("devlink/null"), dir.file("fifo"), dir.path(),
        std::string("/dev/zero"), std::string("/proc/self/mem"), dir.file("missing")}) {
    const auto run = execAsIs({kTool, "max"}, {"QUILLOMATICS_SMC_DEVICE=" + target});
    EXPECT_EQ(run.status, 1) << target;
    EXPECT_EQ(run.out, "ERR No SMC\n") << target;
  }
  char event[4096];
  EXPECT_LT(read(watch, event, sizeof event), 0)
      << "a file that is no device was opened for writing";
  close(watch);
  EXPECT_EQ(slurp(text), std::string(200000, 'x'));
  EXPECT_EQ(slurp(small), "QUILLSMC");
  EXPECT_EQ(slurp(device), before);  // not through the link either
  EXPECT_FALSE(fs::exists(dir.file("missing")));
}

TEST_F(RootSafety, AnotherUsersDeviceIsOnlyRead) {
  ASSERT_EQ(chown(device.c_str(), sim::testing::kNobodyUid, sim::testing::kNobodyGid), 0);
  const std::string before = slurp(device);
  const std::string nobody = std::to_string(sim::testing::kNobodyUid);
  // As sudo runs it for nobody: from nobody's login session, where the kernel keeps one.
  const auto forNobody = [&](const char* mode) {
    const std::vector<std::string> argv{kTool, mode};
    const std::vector<std::string> env{"QUILLOMATICS_SMC_DEVICE=" + device, "SUDO_UID=" + nobody};
    return sim::testing::loginUidSettable()
               ? sim::testing::execWithLoginUid(sim::testing::kNobodyUid, argv, env)
               : execAsIs(argv, env);
  };
  // Root acting for nobody (sudo names the user) may drive that user's device ...
  auto run = forNobody("max");
  EXPECT_EQ(run.out, "OK\n");
  EXPECT_EQ(fanMode(device), 1.0);
  ASSERT_EQ(forNobody("auto").status, 0);
  EXPECT_EQ(fanMode(device), 0.0);

  // ... but root acting for someone else, or for nobody named, only reads it.
  for (const std::vector<std::string>& env :
       {std::vector<std::string>{"QUILLOMATICS_SMC_DEVICE=" + device},
        std::vector<std::string>{"QUILLOMATICS_SMC_DEVICE=" + device, "SUDO_UID=12345"}}) {
    run = execAsIs({kTool, "max"}, env);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(fanMode(device), 0.0);
  }
  EXPECT_EQ(slurp(device).size(), before.size());
}

TEST_F(RootSafety, SudoUidCountsOnlyForTheKernelsLoginUser) {
  if (!sim::testing::loginUidSettable()) {
    GTEST_SKIP() << "this kernel keeps no login uid a child may set: SUDO_UID alone decides";
  }
  // Another account whose sudo keeps the environment names the victim in SUDO_UID: the tool
  // acts for no user, says so, and only reads the victim's device.
  ASSERT_EQ(chown(device.c_str(), sim::testing::kNobodyUid, sim::testing::kNobodyGid), 0);
  constexpr unsigned kAttacker = 12345;
  for (const char* variable : {"SUDO_UID=", "PKEXEC_UID="}) {
    const std::vector<std::string> env{"QUILLOMATICS_SMC_DEVICE=" + device,
                                       variable + std::to_string(sim::testing::kNobodyUid)};
    const auto run = sim::testing::execWithLoginUid(kAttacker, {kTool, "max"}, env);
    EXPECT_EQ(run.out, "OK\n") << variable;
    EXPECT_NE(run.err.find("acting for no user"), std::string::npos) << variable << run.err;
    EXPECT_EQ(fanMode(device), 0.0) << variable;
    // From the victim's own session the same command drives their device.
    const auto own = sim::testing::execWithLoginUid(sim::testing::kNobodyUid, {kTool, "max"}, env);
    EXPECT_EQ(own.err, "") << variable;
    EXPECT_EQ(fanMode(device), 1.0) << variable;
    ASSERT_EQ(sim::testing::execWithLoginUid(sim::testing::kNobodyUid, {kTool, "auto"}, env).status,
              0);
  }
}

TEST_F(RootSafety, OtherVariablesLeadNowhere) {
  SharedTempDir elsewhere;
  const std::vector<std::string> env = {"QUILLOMATICS_SMC_DEVICE=" + device,
                                        "HOME=" + elsewhere.path(),
                                        "TMPDIR=" + elsewhere.path(),
                                        "XDG_CONFIG_HOME=" + elsewhere.path(),
                                        "XDG_RUNTIME_DIR=" + elsewhere.path(),
                                        "XDG_DATA_HOME=" + elsewhere.path(),
                                        "XDG_CACHE_HOME=" + elsewhere.path(),
                                        "PATH=" + elsewhere.path(),
                                        "IFS=/",
                                        "ENV=" + elsewhere.file("rc"),
                                        "MALLOC_CHECK_=3",
                                        "LANG=C.UTF-8"};
  for (const char* mode : {"max", "auto"}) {
    const auto run = execAsIs({kTool, mode}, env);
    EXPECT_EQ(run.status, 0) << mode;
    EXPECT_EQ(run.out, "OK\n") << mode;
  }
  EXPECT_TRUE(entries(elsewhere.path()).empty());
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"smc.dev"});
  // Arguments beyond the first are ignored; an unknown one changes nothing.
  const std::string before = slurp(device);
  const auto run = execAsIs({kTool, "--device=/etc/passwd", "max"}, env);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(slurp(device), before);
}

TEST_F(RootSafety, DeviceCutShortUnderTheToolLeavesNoCoreBehind) {
  // The device's owner can truncate it while the tool has it mapped; the tool then dies of
  // SIGBUS. With core dumps allowed by the caller, that must still write nothing where the caller
  // runs it. The tool runs with a private /tmp for its pid file, so it, its device and its
  // working directory live outside /tmp (the build directory, or /var/tmp for a build under
  // /tmp), the tool as a copy.
  const fs::path build = fs::current_path();
  const bool underTmp = build.string().starts_with("/tmp/") || build == "/tmp";
  const fs::path base =
      (underTmp ? fs::path("/var/tmp") : build) / ("root_safety." + std::to_string(getpid()));
  const std::string cwd = (base / "cwd").string();
  const std::string cut = (base / "smc.dev").string();
  const std::string tool = (base / "ventwarden").string();
  fs::create_directories(cwd);
  struct RemoveBase {
    fs::path path;
    ~RemoveBase() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } removeBase{base};
  fs::copy_file(kTool, tool);
  ASSERT_TRUE(sim::createDevice(cut, sim::ProfileSource::builtin("MacBookPro16,1")));
  std::string variable = "QUILLOMATICS_SMC_DEVICE=" + cut;
  char* const env[] = {variable.data(), nullptr};
  char* const argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>("proactive"), nullptr};
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  constexpr int kNoPrivateMount = 126;
  const pid_t child = fork();
  if (child == 0) {
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        mount("tmpfs", "/tmp", "tmpfs", 0, nullptr) != 0) {
      _exit(kNoPrivateMount);
    }
    if (chdir(cwd.c_str()) != 0 || setrlimit(RLIMIT_CORE, &unlimited) != 0 ||
        dup2(out[1], STDOUT_FILENO) < 0) {
      _exit(125);
    }
    execve(argv[0], argv, env);
    _exit(127);
  }
  close(out[1]);
  char line[3] = {};
  const bool started = read(out[0], line, sizeof line) == 3 && std::string(line, 3) == "OK\n";
  close(out[0]);
  int status = 0;
  if (!started) {
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNoPrivateMount) {
      GTEST_SKIP() << "this machine grants no private mount namespace with its own /tmp";
    }
    FAIL() << "could not start the tool: status " << status;
  }
  ASSERT_EQ(truncate(cut.c_str(), 4096), 0);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) >= 125) << "could not start the tool";
  EXPECT_TRUE(fs::is_empty(cwd));
}

TEST_F(RootSafety, ClosedStandardDescriptorsSendTheOutputNowhere) {
  // Started with 0, 1 and 2 closed, the device would otherwise be opened as descriptor 1 and the
  // output line written over its first bytes.
  std::string variable = "QUILLOMATICS_SMC_DEVICE=" + device;
  char* const env[] = {variable.data(), nullptr};
  char* const argv[] = {const_cast<char*>(kTool.c_str()), const_cast<char*>("max"), nullptr};
  const pid_t child = fork();
  if (child == 0) {
    close(0);
    close(1);
    close(2);
    execve(argv[0], argv, env);
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(sim::Device::open(device, sim::Device::Access::readOnly));
  EXPECT_EQ(fanMode(device), 1.0);
}

}  // namespace

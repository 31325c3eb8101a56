// Helpers for tests that must act as an unprivileged user while the suite itself runs as root:
// code or a program run in a child process as "nobody", and device directories that "nobody"
// can reach.
//
//   runUnprivileged(fn)        forks; the child drops to uid/gid 65534 (nobody/nogroup) when
//                              running as root (an unprivileged suite stays as it is), runs fn
//                              and exits with fn's result. Returns the child's exit status,
//                              or 128 + signal when it was killed; 125 when dropping failed.
//   execUnprivileged(argv, env)
//                              the same for a program: its standard output and error are
//                              collected; `env` entries ("NAME=value") are added to this
//                              process's environment for the child.
//   execWithLoginUid(uid, argv, env)
//                              execAsIs with the child's kernel login uid set to `uid` before
//                              the exec (root may, where the kernel keeps one); status 124 when
//                              the kernel refuses.
//   loginUidSettable()         whether that works here.
//   droppingPrivileges()       whether the helpers above really change user (running as root).
//   suiteWriters()             who may write the SMC keys of a device a test makes: root, as on a
//                              Mac, when the suite runs as root; the file's owner when it runs as
//                              an ordinary account, which then stands in for root.
//   clearPidFile(path)         removes the tool's machine-wide pid file; false when it is still
//                              there (it belongs to another account's tool, which a suite run by
//                              an ordinary account can neither stop nor remove).
//   SharedTempDir              a fresh directory (mkdtemp) opened up to 0755 so that "nobody"
//                              can reach the devices inside it; removed with its files at the end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace sim::testing {

inline constexpr unsigned kNobodyUid = 65534;
inline constexpr unsigned kNobodyGid = 65534;

bool droppingPrivileges();
Writers suiteWriters();
bool clearPidFile(const std::string& path);

int runUnprivileged(const std::function<int()>& fn);

struct ExecResult {
  int status = -1;  // exit status, 128 + signal, or -1 when the program could not be started
  std::string out;
  std::string err;
};
ExecResult execUnprivileged(const std::vector<std::string>& argv,
                            const std::vector<std::string>& env = {});
// The same without changing user, for comparisons and for programs run as root.
ExecResult execAsIs(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
ExecResult execWithLoginUid(unsigned loginUid, const std::vector<std::string>& argv,
                            const std::vector<std::string>& env = {});
bool loginUidSettable();

class SharedTempDir {
 public:
  SharedTempDir();
  ~SharedTempDir();
  SharedTempDir(const SharedTempDir&) = delete;
  SharedTempDir& operator=(const SharedTempDir&) = delete;

  const std::string& path() const { return path_; }
  // path()/name
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace sim::testing

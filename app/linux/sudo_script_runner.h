// The administrator runner of the Linux shell: the tool's command run as root through sudo or
// pkexec, with the password prompt on the user's terminal, or through a test's agent.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"

namespace app {

// Runs the shell command with administrator rights: directly with /bin/sh when already root,
// otherwise through pkexec (when a desktop session can answer it) or sudo. A refused or cancelled
// authorisation, or a non-zero exit status, is a failure. The output is the command's standard
// output with one trailing line end removed. The command runs in a process group of its own,
// with standard input from /dev/null unless a prompt is on the terminal.
//
// sudo's password prompt, when standard input is a terminal in the foreground, runs on a
// pseudo-terminal of this process's own (its controlling terminal and standard input), relayed:
// keys from the user's terminal, which is in raw, no-echo mode meanwhile and restored exactly
// after, go to the pseudo-terminal, and what sudo writes there goes to the user's terminal. So
// Ctrl-C and Ctrl-\ reach sudo through the pseudo-terminal and cancel it, Ctrl-Z cancels the
// prompt too, and none of them reaches this process. When this process dies, however it dies,
// the pseudo-terminal hangs up and sudo ends with it: no prompt is left reading the user's
// terminal. pkexec gets the terminal itself instead: while it runs, the terminal's foreground
// process group is pkexec's own, with the same effect on those keys.
class SudoScriptRunner final : public AdminScriptRunner {
 public:
  // Called around an interactive prompt, so that a full-screen terminal front end can give the
  // terminal to the prompt and take it back. afterPrompt gets the last line sudo or pkexec (or
  // the command) wrote to standard error, such as "sudo: 3 incorrect password attempts", or "".
  std::function<void()> beforePrompt;
  std::function<void(const std::string&)> afterPrompt;
  // When not -1: a descriptor that becomes readable when this process is asked to end (the event
  // loop's signal descriptor). While the command (a prompt, or the command it runs) is under
  // way, a readable descriptor ends the command's whole process group (SIGTERM, then SIGKILL
  // after a short grace) and the run fails, so that the action is not carried out; when it is
  // readable already, nothing is run. It is only polled, never read: its owner reads it after.
  int cancelDescriptor = -1;
  // When set and not root: hand the command to an authorising agent listening on this Unix
  // socket instead of pkexec/sudo (used by automated tests with an agent they run as root).
  std::optional<std::string> agentSocket;

  ScriptResult runWithAdministratorPrivileges(const AdminScript& script) override;

  // How the command is raised: pkexec (a desktop session answers) or sudo (a prompt on the
  // terminal when there is one, else none), and the simulated SMC device to pass on.
  struct Elevation {
    bool usePkexec = false;
    bool canPrompt = false;
    std::string smcDevice;
  };
  static std::vector<std::string> elevatedCommandLine(const std::string& command,
                                                      const Elevation& how);
  // The simulated SMC device this process uses, handed to the tool so that both act on one
  // machine: QUILLOMATICS_SMC_DEVICE when set, else the default device as this process finds it
  // (in $XDG_RUNTIME_DIR, say, which sudo and pkexec do not pass on and root would not take).
  static std::string toolDevice();
};

}  // namespace app

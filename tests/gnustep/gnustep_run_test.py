#!/usr/bin/env python3
"""The macOS shell built on GNUstep, driven through its real menu under a private Xvfb, compared
with the Linux monitor's --snapshot on the same frozen simulated Mac.

Usage: gnustep_run_test.py GNUSTEP_SHELL QUILLOMATICS SMC_SIM [unittest arguments]
Exit status 77 when the test is skipped (no Xvfb, or a scenario that needs root).
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

SHELL = ""
QUILLOMATICS = ""
SMC_SIM = ""
PROFILE = "macbookpro16-1"
PID_FILE = "/tmp/quillomatics_proactive.pid"
RUN_TIMEOUT_S = 25.0


# Where an X server keeps its sockets on the file system, and its display's lock file.
X11_SOCKET_DIR = "/tmp/.X11-unix"


class Xvfb:
    """An X server of our own: -displayfd picks a free display and tells us its number.

    It listens only on Linux's abstract socket namespace (the "local" transport), which Xlib
    tries first: the socket files of the "unix" transport would need /tmp/.X11-unix, which the
    server makes when it is missing and which would then outlive the run, owned by the account
    that ran it (and an account that owns that directory can stand in for other users' X
    servers)."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-nolisten", "unix",
             "-screen", "0", "1024x768x24"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.lock_file = f"/tmp/.X{number}-lock"

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def private_gnustep_config(directory):
    """GNUstep's configuration with every user directory inside `directory`: GNUstep takes the
    home from the password database, not $HOME, so the defaults would otherwise be the account's."""
    lines = []
    try:
        with open("/etc/GNUstep/GNUstep.conf") as system:
            lines = [line.rstrip("\n") for line in system
                     if not line.startswith("GNUSTEP_USER")]
    except OSError:
        pass
    lines.append(f"GNUSTEP_USER_CONFIG_FILE={directory}/none.conf")
    lines.append(f"GNUSTEP_USER_DEFAULTS_DIR={directory}/Defaults")
    for name in ["APPS", "ADMIN_APPS", "WEB_APPS", "TOOLS", "ADMIN_TOOLS", "LIBRARY", "HEADERS",
                 "LIBRARIES", "DOC", "DOC_MAN", "DOC_INFO"]:
        lines.append(f"GNUSTEP_USER_DIR_{name}={directory}/{name}")
    path = os.path.join(directory, "GNUstep.conf")
    with open(path, "w") as config:
        config.write("\n".join(lines) + "\n")
    return path


def without_state(snapshot):
    """The monitor's snapshot without its "state" part, which only the core can report."""
    return {"title": snapshot["title"], "menu": snapshot["menu"]}


class GnustepRunTest(unittest.TestCase):
    xvfb = None

    @classmethod
    def setUpClass(cls):
        cls.socket_dir_before = os.path.lexists(X11_SOCKET_DIR)
        cls.xvfb = Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()
        # The run leaves nothing outside its own directories: no socket directory it made, no
        # lock file of its display.
        left = [path for path in [cls.xvfb.lock_file] if os.path.lexists(path)]
        if not cls.socket_dir_before and os.path.lexists(X11_SOCKET_DIR):
            left.append(X11_SOCKET_DIR)
        if left:
            raise AssertionError("the X server left behind: " + ", ".join(left))

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quill-gnustep-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.device = os.path.join(self.dir, "smc.dev")
        self.gnustep_dir = os.path.join(self.dir, "gnustep")
        os.mkdir(self.gnustep_dir)
        self.gnustep_config = private_gnustep_config(self.gnustep_dir)

    def make_device(self):
        # An ordinary account's suite stands in for root: the commands a granted administrator
        # prompt runs, run as that account, may write the device it owns.
        writers = "root" if os.geteuid() == 0 else "owner"
        subprocess.run([SMC_SIM, "create", "--frozen", "--writers", writers, "--profile", PROFILE,
                        self.device], check=True, capture_output=True)

    def monitor(self, *actions):
        """The Linux monitor's --snapshot after the menu actions, on the same device."""
        argv = [QUILLOMATICS, "--snapshot"]
        for action in actions:
            argv += ["--do", action]
        env = dict(os.environ, QUILLOMATICS_SMC_DEVICE=self.device,
                   XDG_CONFIG_HOME=os.path.join(self.dir, "monitor-config"))
        run = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=30)
        return run

    def shell(self, steps, **extra):
        """The GNUstep shell run through the driver's steps; its records and exit status."""
        out = os.path.join(self.dir, "driver.jsonl")
        if os.path.exists(out):
            os.remove(out)
        # GNUstep keeps its message ports in the temporary directory (TEMP, then TMPDIR), under
        # GNUstepSecure<uid>: a directory of the test's own.
        env = dict(os.environ, DISPLAY=self.xvfb.display, GNUSTEP_CONFIG_FILE=self.gnustep_config,
                   TEMP=self.gnustep_dir, TMPDIR=self.gnustep_dir,
                   QUILLOMATICS_SMC_DEVICE=self.device,
                   QUILL_DRIVER_OUT=out, QUILL_DRIVER_STEPS=",".join(steps), **extra)
        process = subprocess.Popen([SHELL], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, text=True, start_new_session=True)
        try:
            _, err = process.communicate(timeout=RUN_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            _, err = process.communicate()
        records = []
        if os.path.exists(out):
            with open(out) as lines:
                records = [json.loads(line) for line in lines if line.strip()]
        errors = [r["error"] for r in records if "error" in r]
        self.assertEqual(errors, [], err[-2000:])
        return records, process.returncode

    def snapshots(self, records):
        return [r["snapshot"] for r in records if "snapshot" in r]

    def assert_launched_as_accessory_with_one_timer(self, records):
        self.assertIn({"activationPolicy": 1}, records)
        timers = [r for r in records if "timerAdded" in r or "timerScheduled" in r]
        self.assertEqual(timers, [{"timerAdded": {"interval": 3, "modes": "common",
                                                  "mainRunLoop": True}}])

    def assert_same_menu(self, shell_snapshot, monitor_run):
        self.assertEqual(monitor_run.returncode, 0, monitor_run.stderr)
        expected = without_state(json.loads(monitor_run.stdout))
        self.assertEqual(shell_snapshot["title"], expected["title"])
        self.assertEqual(len(shell_snapshot["menu"]), len(expected["menu"]))
        for got, want in zip(shell_snapshot["menu"], expected["menu"]):
            self.assertEqual(got, want)

    def test_first_menu(self):
        self.make_device()
        records, status = self.shell(["snapshot", "quit"])
        self.assertEqual(status, 0)
        self.assert_launched_as_accessory_with_one_timer(records)
        self.assert_same_menu(self.snapshots(records)[0], self.monitor())
        self.assertEqual(records[-1], {"terminating": True})

    def test_toggle_unit(self):
        self.make_device()
        records, status = self.shell(["choose:toggleUnit", "snapshot", "quit"])
        self.assertEqual(status, 0)
        self.assert_same_menu(self.snapshots(records)[0], self.monitor("toggleUnit"))

    def test_set_fans_max_as_root(self):
        if os.geteuid() != 0:
            self.skipTest("needs root: the fans are written directly only with root's rights")
        self.make_device()
        records, status = self.shell(["choose:setFansMax", "snapshot", "quit"])
        self.assertEqual(status, 0)
        self.assertFalse([r for r in records if "appleScript" in r])  # no administrator prompt
        # The monitor's run starts from the device as the shell's termination left it: fans
        # released again, so both runs force them from the same state.
        self.assert_same_menu(self.snapshots(records)[0], self.monitor("setFansMax"))

    def test_refresh_after_heating(self):
        self.make_device()
        heat = "TC0P=91.5;TG0P=88.25"
        records, status = self.shell(["snapshot", "heat", "awaitRefresh", "snapshot", "quit"],
                                     QUILL_DRIVER_HEAT=heat)
        self.assertEqual(status, 0)
        self.assertIn({"refreshed": True}, records)
        before, after = self.snapshots(records)
        self.assertNotEqual(before, after)
        self.assert_same_menu(after, self.monitor())

    def test_proactive_start(self):
        self.make_device()
        if os.path.exists(PID_FILE):
            # The start stops the tool the pid file names first; it may be another suite's.
            self.skipTest("another program's proactive tool is running (its pid file exists)")
        # The prompt granted: the script's command runs, starting the tool's guard of this shell.
        records, status = self.shell(["choose:setFansProactive", "snapshot", "quit"],
                                     QUILL_SCRIPT_ANSWER="run")
        self.assertEqual(status, 0)
        # GNUstep's main bundle for a program outside an application wrapper is
        # DIR/Resources/NAME; the tool is inside it as in Quillomatics.app.
        bundle = os.path.join(os.path.dirname(os.path.realpath(SHELL)), "Resources",
                              os.path.basename(SHELL))
        tool = bundle + "/Contents/MacOS/ventwarden"
        scripts = [r["appleScript"] for r in records if "appleScript" in r]
        self.assertEqual(len(scripts), 1)
        self.assertRegex(scripts[0], "^" + re.escape("do shell script \"'" + tool + "' guard "
                                                     "proactive ") +
                         r"[1-9][0-9]*" + re.escape("\" with administrator privileges") + "$")
        menu = self.snapshots(records)[0]["menu"]
        self.assertIn("Fans: Proactive (40-75\u00b0C)", [item.get("title") for item in menu])
        # The guard ended with the shell and handed the fans back.
        self.assertFalse(os.path.exists(PID_FILE))
        # A refused administrator prompt leaves the menu as it was: the monitor's first menu.
        refused, status = self.shell(["choose:setFansProactive", "snapshot", "quit"],
                                     QUILL_SCRIPT_ANSWER="refuse")
        self.assertEqual(status, 0)
        self.assert_same_menu(self.snapshots(refused)[0], self.monitor())

    def test_no_smc_alert_then_terminate(self):
        records, status = self.shell(["snapshot", "quit"])
        self.assertEqual(status, 0)
        monitor = self.monitor()
        self.assertEqual(monitor.returncode, 1)
        # The alert's two texts, then the line naming the device and what is wrong with it.
        message, informative = monitor.stderr.split("\n")[:2]
        alerts = [r["alert"] for r in records if "alert" in r]
        self.assertEqual(alerts, [{"messageText": message, "informativeText": informative,
                                   "style": "critical", "buttons": ["Quit"],
                                   "activatedFirst": True}])
        # Terminated from the launch: no status item, no menu, no timer.
        self.assertFalse(self.snapshots(records))
        self.assertFalse([r for r in records if "timerAdded" in r])
        self.assertEqual(records[-1], {"terminating": True})

    def headless(self, program, *args):
        """A run of `program` with the headless options: no display, the device as above."""
        env = dict(os.environ, GNUSTEP_CONFIG_FILE=self.gnustep_config, TEMP=self.gnustep_dir,
                   TMPDIR=self.gnustep_dir, QUILLOMATICS_SMC_DEVICE=self.device,
                   XDG_CONFIG_HOME=os.path.join(self.dir, "monitor-config"))
        env.pop("DISPLAY", None)
        return subprocess.run([program] + list(args), env=env, capture_output=True, text=True,
                              timeout=RUN_TIMEOUT_S)

    def test_headless_snapshot(self):
        """The macOS shell's --snapshot without a display, a status item or an event loop prints
        what the Linux monitor's does, byte for byte: JSON with the readings, the one run's unit,
        the Prometheus text, and the alert with status 1 without an SMC."""
        self.make_device()
        for extra in ([], ["--unit", "fahrenheit", "--do", "toggleUnit", "--do", "toggleUnit"],
                      ["--format", "prometheus"]):
            shell = self.headless(SHELL, "--snapshot", *extra)
            monitor = self.headless(QUILLOMATICS, "--snapshot", *extra)
            self.assertEqual(monitor.returncode, 0, monitor.stderr)
            self.assertEqual(shell.returncode, 0, shell.stderr)
            self.assertEqual(shell.stdout, monitor.stdout)
        self.assertIn('"useFahrenheit": true', self.headless(
            SHELL, "--snapshot", "--unit", "fahrenheit").stdout)
        os.remove(self.device)
        shell = self.headless(SHELL, "--snapshot")
        self.assertEqual((shell.returncode, shell.stdout), (1, ""))
        self.assertTrue(shell.stderr.startswith("Cannot Access SMC\n"), shell.stderr)


def main():
    global SHELL, QUILLOMATICS, SMC_SIM
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    SHELL, QUILLOMATICS, SMC_SIM = sys.argv[1:4]
    if sys.platform != "linux":
        print("skipped: the GNUstep run is for Linux")
        return 77
    if shutil.which("Xvfb") is None:
        print("skipped: needs Xvfb (dev/deps installs xvfb)")
        return 77
    program = unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[4:], exit=False)
    result = program.result
    if not result.wasSuccessful():
        return 1
    if result.skipped and len(result.skipped) == result.testsRun:
        return 77
    return 0


if __name__ == "__main__":
    sys.exit(main())

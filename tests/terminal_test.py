#!/usr/bin/env python3
"""The interactive Quillomatics in a real terminal: tmux runs it in a pane (100 x 40 unless a test
says otherwise) against a simulated device made for each test, the test types keys and reads the
pane back.

Usage: terminal_test.py QUILLOMATICS SMC_SIM [unittest arguments, e.g. TerminalTest.test_units]
"""

import json
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

QUILLOMATICS = ""
SMC_SIM = ""
PID_FILE = "/tmp/quillomatics_proactive.pid"
WAIT_S = 10.0


def wait_until(predicate, timeout=WAIT_S, interval=0.05):
    """Polls until predicate() returns something true; returns it, or None on timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


class Pane:
    """One tmux server of our own with one pane running a shell command."""

    started = 0

    def __init__(self, directory, command, env, width=100, height=40):
        # A server of its own for each pane: a server just killed may still hold its socket.
        Pane.started += 1
        self.socket = os.path.join(directory, f"tmux-{Pane.started}.sock")
        self.exit_file = os.path.join(directory, "exit-status")
        # tmux sets TERM itself, so the environment is given on the command line. The shell
        # prints a line before the program starts, outlives a Ctrl-C, and keeps the pane open
        # after the program ended, so that the screen it leaves behind can be read.
        assignments = " ".join(shlex.quote(f"{name}={value}") for name, value in env.items())
        script = (f"trap : INT; printf 'before-the-monitor\\n'; env {assignments} {command}; "
                  f"echo $? > {self.exit_file}; exec sleep 600")
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", str(width), "-y", str(height),
                  "sh", "-c", script)

    def tmux(self, *args, check=True):
        run = subprocess.run(["tmux", "-S", self.socket, *args], capture_output=True, text=True)
        if check and run.returncode != 0:
            raise AssertionError(f"tmux {' '.join(args[:2])}: {run.stderr.strip()}")
        return run.stdout

    def lines(self):
        return self.tmux("capture-pane", "-p").split("\n")

    def text(self):
        return "\n".join(self.lines())

    def escapes(self):
        return self.tmux("capture-pane", "-p", "-e")

    def send(self, *keys):
        self.tmux("send-keys", *keys)

    def show(self, pattern, timeout=WAIT_S):
        """Waits until the pane shows `pattern` (a regular expression); returns the pane."""
        return wait_until(lambda: re.search(pattern, self.text(), re.M) and self.text(), timeout)

    def query(self, fmt):
        return self.tmux("display-message", "-p", fmt).strip()

    def resize(self, width, height):
        self.tmux("resize-window", "-x", str(width), "-y", str(height))

    def pid(self):
        """The process in the pane's foreground: the monitor while it runs."""
        shell = int(self.query("#{pane_pid}"))
        children = wait_until(
            lambda: read_file(f"/proc/{shell}/task/{shell}/children").split())
        return int(children[0]) if children else None

    def exit_status(self, timeout=WAIT_S):
        status = wait_until(lambda: read_file(self.exit_file).strip(), timeout)
        return int(status) if status else None

    def close(self):
        self.tmux("kill-server", check=False)


def read_file(path):
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ""


def sim(*args):
    return subprocess.run([SMC_SIM, *args], check=True, capture_output=True, text=True).stdout


def process_ended(pid):
    """Whether the process has exited (a zombie not yet reaped by init counts as ended)."""
    stat = read_file(f"/proc/{pid}/stat")
    return not stat or stat[stat.rfind(")") + 2:].startswith("Z")


def read_key(device, key):
    """The decoded value of a key, as `smc-sim read` prints it after " = "."""
    return sim("read", device, key).strip().rsplit("= ", 1)[1]


def run_text(item):
    return "".join(run["text"] for run in item["runs"]) if item.get("runs") else item["title"]


def expected_box(menu, width):
    """The menu box as the front end draws it at the right of a terminal `width` columns wide."""
    texts = []
    for item in menu:
        if item.get("separator"):
            texts.append(None)
            continue
        hint = item["key"] if item.get("action") else ""
        texts.append((run_text(item), hint))
    text_width = max(len(t) + (4 + len(h) if h else 0) for t, h in filter(None, texts))
    box_x = width - (text_width + 4)
    pad = " " * box_x
    lines = [pad + "┌" + "─" * (text_width + 2) + "┐"]
    for entry in texts:
        if entry is None:
            lines.append(pad + "├" + "─" * (text_width + 2) + "┤")
        else:
            text, hint = entry
            lines.append(pad + "│ " + text.ljust(text_width - len(hint)) + hint + " │")
    lines.append(pad + "└" + "─" * (text_width + 2) + "┘")
    return lines


class TerminalTest(unittest.TestCase):
    def setUp(self):
        # A tool stopped by the test before may still be on its way out. (Each run of the
        # monitor stops the tool named in the pid file when it quits.)
        if not wait_until(lambda: not os.path.exists(PID_FILE)):
            try:
                os.remove(PID_FILE)
            except FileNotFoundError:
                pass
            except PermissionError:
                self.skipTest("the machine's pid file belongs to another account's tool")
        self.dir = tempfile.mkdtemp(prefix="quill-term-")
        self.device = os.path.join(self.dir, "smc.dev")
        self.env = {
            "QUILLOMATICS_SMC_DEVICE": self.device,
            "XDG_CONFIG_HOME": os.path.join(self.dir, "config"),
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "TERM": "tmux-256color",
        }
        self.panes = []
        self.tools = []  # process ids of the tools this test started

    def tearDown(self):
        for pane in self.panes:
            pane.close()
        # A tool a failed test left behind.
        for pid in self.tools:
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
        shutil.rmtree(self.dir, ignore_errors=True)

    def create_device(self, frozen=True, profile="MacBookPro16,1", writers=None):
        # Writes through the SMC are root's, as on a Mac; a suite run by an ordinary account
        # stands in for root with the device's owner.
        writers = writers or ("root" if os.geteuid() == 0 else "owner")
        sim("create", *(["--frozen"] if frozen else []), "--writers", writers, "--profile",
            profile, self.device)

    def start(self, width=100, height=40, **extra_env):
        command = shlex.quote(QUILLOMATICS)
        if os.geteuid() != 0:
            # An ordinary account's suite never runs the real sudo: with a socket nobody listens
            # on, every administrator command fails at once.
            command += " --admin-socket " + shlex.quote(os.path.join(self.dir, "no-admin.sock"))
        pane = Pane(self.dir, command, {**self.env, **extra_env}, width, height)
        self.panes.append(pane)
        return pane

    def snapshot(self):
        out = subprocess.run([QUILLOMATICS, "--snapshot"], check=True, capture_output=True,
                             text=True, env={**os.environ, **self.env}).stdout
        return json.loads(out)

    def assert_restored(self, pane, status=0):
        self.assertEqual(pane.exit_status(), status)
        self.assertEqual(pane.query("#{alternate_on}"), "0")
        self.assertEqual(pane.query("#{cursor_flag}"), "1")
        text = pane.text()
        self.assertIn("before-the-monitor", text)
        self.assertNotIn("Quit Quillomatics", text)
        self.assertNotIn("Cannot Access SMC", text)

    def test_title_and_menu_rows_match_the_menu_model(self):
        self.create_device()
        expected = self.snapshot()
        pane = self.start()
        self.assertTrue(pane.show("Quit Quillomatics"), pane.text())
        lines = pane.lines()
        title = run_text(expected["title"])
        self.assertRegex(title, r"^\d+°C$")
        self.assertTrue(lines[0].endswith(" " + title), lines[0])
        self.assertTrue(lines[0].startswith(" Quillomatics"), lines[0])
        box = expected_box(expected["menu"], 100)
        self.assertEqual([line.rstrip() for line in lines[1:1 + len(box)]],
                         [line.rstrip() for line in box])
        # Colours: the title and the temperatures in their bands, fans cyan, headers grey.
        escapes = pane.escapes()
        band = {"systemGreen": "32", "systemOrange": "38;5;208", "systemRed": "31"}
        title_color = expected["title"]["runs"][0]["color"]
        self.assertRegex(escapes.split("\n")[0], r"\x1b\[" + re.escape(band[title_color])
                         + r"m(\x1b\[[0-9;]*m)*" + re.escape(title))
        self.assertRegex(escapes, r"\x1b\[36m\d+ RPM")
        self.assertRegex(escapes, r"\x1b\[[0-9;]*38;5;245mCPU")
        self.assertRegex(escapes, r"\x1b\[1mQuillomatics")
        pane.send("q")
        self.assert_restored(pane)

    def test_unit_key_switches_and_persists_fahrenheit(self):
        self.create_device()
        pane = self.start()
        self.assertTrue(pane.show(r"\d+°C\s*$"))
        pane.send("u")
        text = pane.show("Switch to Celsius")
        self.assertTrue(text, pane.text())
        self.assertRegex(text.split("\n")[0], r" \d+°F$")
        self.assertRegex(text, r"CPU Proximity +\d+\.\d°F")
        self.assertNotRegex(text, r"\d°C")
        pane.send("q")
        self.assert_restored(pane)
        # The next start shows Fahrenheit.
        again = self.start()
        self.assertTrue(again.show(r"\d+°F\s*$"), again.text())
        again.send("u")
        self.assertTrue(again.show(r"\d+°C\s*$"), again.text())
        again.send("q")
        self.assertEqual(again.exit_status(), 0)

    def test_mode_keys_and_the_arrow_keys_drive_the_fans(self):
        self.create_device()
        self.assertEqual(read_key(self.device, "F0Md"), "0")
        pane = self.start()
        self.assertTrue(pane.show("Fans: Auto"))
        # The arrow keys first, as the very first keys: Down selects "Proactive Cooling", Down
        # again the full-speed item, Enter chooses it; the highlight then rests where the item
        # was. (An arrow read before the terminal is in keypad mode would arrive as Escape.)
        pane.send("Down")
        pane.send("Down")
        pane.send("Enter")
        self.assertTrue(pane.show("Fans: Manual 100%"), pane.text())
        self.assertEqual(read_key(self.device, "F0Md"), "1")
        pane.send("Up", "Up", "Enter")  # Switch to Auto
        self.assertTrue(pane.show("Fans: Auto"), pane.text())
        self.assertEqual(read_key(self.device, "F0Md"), "0")
        # The same with the key equivalents.
        pane.send("m")
        self.assertTrue(pane.show("Fans: Manual 100%"), pane.text())
        self.assertEqual(read_key(self.device, "F0Md"), "1")
        self.assertEqual(read_key(self.device, "F1Md"), "1")
        self.assertEqual(float(read_key(self.device, "F0Tg")),
                         float(read_key(self.device, "F0Mx")))
        pane.send("a")
        self.assertTrue(pane.show("Fans: Auto"), pane.text())
        self.assertEqual(read_key(self.device, "F0Md"), "0")
        self.assertEqual(read_key(self.device, "F1Md"), "0")
        # A mode the menu does not offer does nothing: "a" while the fans are automatic.
        pane.send("a")
        time.sleep(0.3)
        self.assertIn("Fans: Auto", pane.text())
        pane.send("q")
        self.assert_restored(pane)

    @unittest.skipUnless(os.geteuid() == 0, "needs root: the tool is started with administrator "
                         "rights, which an ordinary account would be asked a password for")
    def test_proactive_key_starts_the_tool_and_quitting_stops_it(self):
        self.create_device()
        pane = self.start()
        self.assertTrue(pane.show("Proactive Cooling"))
        pane.send("p")
        self.assertTrue(pane.show(r"Fans: Proactive \(40-75°C\)"), pane.text())
        pid = wait_until(lambda: read_file(PID_FILE).strip())
        self.assertTrue(pid, "the tool recorded no pid file")
        pid = int(pid)
        self.tools.append(pid)
        with open(f"/proc/{pid}/cmdline") as f:
            self.assertIn("ventwarden", f.read())
        self.assertIn("Switch to Auto", pane.text())
        pane.send("q")
        self.assert_restored(pane)
        self.assertTrue(wait_until(lambda: not os.path.exists(f"/proc/{pid}")),
                        "the tool still runs")
        self.assertFalse(os.path.exists(PID_FILE))

    def test_no_device_shows_the_alert_and_quits(self):
        pane = self.start(QUILLOMATICS_SMC_DEVICE=os.path.join(self.dir, "missing", "smc.dev"))
        text = pane.show(r"\[ Quit \]")
        self.assertTrue(text, pane.text())
        self.assertIn("Cannot Access SMC", text)
        self.assertIn("Quillomatics could not connect to the System Management", text)
        self.assertIn("Controller.", text)
        self.assertNotIn("Quit Quillomatics", text)  # no status item, no menu
        pane.send("Enter")
        self.assert_restored(pane, status=1)

    def test_signals_quit_through_termination_and_restore_the_terminal(self):
        self.create_device()
        for how in ("C-c", signal.SIGTERM, signal.SIGHUP):
            with self.subTest(how=str(how)):
                pane = self.start()
                self.assertTrue(pane.show("Quit Quillomatics"))
                pane.send("m")  # forced fans must be handed back at termination
                self.assertTrue(pane.show("Fans: Manual 100%"))
                if how == "C-c":
                    pane.send("C-c")
                else:
                    os.kill(pane.pid(), how)
                number = signal.SIGINT if how == "C-c" else how
                self.assert_restored(pane, status=128 + number)
                pane.close()
                os.remove(pane.exit_file)
                sim("write", "--direct", self.device, "F0Md", "0")  # back to auto for the next round
                sim("write", "--direct", self.device, "F1Md", "0")

    def test_menu_closes_and_opens_and_the_refresh_goes_on(self):
        self.create_device()
        pane = self.start()
        self.assertTrue(pane.show("CPU Proximity +38.2°C"))
        pane.send("Space")
        self.assertTrue(wait_until(lambda: "Quit Quillomatics" not in pane.text()))
        self.assertRegex(pane.lines()[0], r"\d+°C$")
        pane.send("Space")
        self.assertTrue(pane.show("Quit Quillomatics"))
        # A new reading shows within one refresh period while the menu is open.
        sim("write", "--direct", self.device, "TC0P", "61.5")
        self.assertTrue(pane.show(r"CPU Proximity +61\.5°C", timeout=8), pane.text())
        self.assertRegex(pane.lines()[0], r" 62°C$")  # the title follows the first reading
        pane.send("Escape")
        self.assertTrue(wait_until(lambda: "Quit Quillomatics" not in pane.text()))
        pane.send("q")  # the key equivalents work with the menu closed too
        self.assert_restored(pane)

    def test_no_reading_shows_the_placeholder_until_readings_return(self):
        self.create_device()
        sim("fault", self.device, "keyinfo", "temps")
        pane = self.start()
        self.assertTrue(pane.show("Quit Quillomatics"))
        self.assertTrue(pane.lines()[0].endswith(" -- °C"), pane.lines()[0])
        # Plain: the terminal's own colours.
        self.assertRegex(pane.escapes().split("\n")[0], r"\x1b\[0m(\x1b\[(39|49)m)* -- °C$")
        text = pane.text()
        self.assertNotIn("CPU", text)
        self.assertIn("Fan 1", text)
        pane.send("u")  # the placeholder does not follow the unit
        self.assertTrue(pane.show("Switch to Celsius"))
        self.assertTrue(pane.lines()[0].endswith(" -- °C"), pane.lines()[0])
        sim("fault", self.device, "clear")
        self.assertTrue(pane.show(r"CPU Proximity +\d+\.\d°F", timeout=8), pane.text())
        self.assertRegex(pane.lines()[0], r" \d+°F$")
        pane.send("q")
        self.assert_restored(pane)

    def test_small_and_resized_terminals_scroll_and_clip(self):
        self.create_device()
        pane = self.start(width=30, height=12)
        self.assertTrue(pane.show("CPU"))
        lines = pane.lines()
        self.assertTrue(all(len(line) <= 30 for line in lines))
        self.assertIn("▼", lines[11])  # more below
        self.assertNotIn("Quit Quillomatics", pane.text())
        pane.send("End")  # selects the last item, the quit item, and scrolls to it
        self.assertTrue(pane.show("Quit Quill"), pane.text())
        self.assertIn("▲", pane.lines()[1])
        pane.resize(100, 40)
        self.assertTrue(pane.show(r"│ Quit Quillomatics +q │"), pane.text())
        self.assertNotIn("▲", pane.text())
        pane.resize(12, 3)  # room for the status line only
        self.assertTrue(wait_until(lambda: re.fullmatch(r" +\d+°C *", pane.lines()[0]) and
                                   "Quillomatics" not in pane.text()), pane.text())
        # Too narrow for the values: said so, under the title.
        pane.resize(14, 12)
        self.assertTrue(pane.show(r"terminal too\n +small$"), pane.text())
        self.assertRegex(pane.lines()[0], r"\d+°C$")
        pane.resize(1, 1)
        self.assertTrue(wait_until(lambda: pane.lines()[0].strip() in ("", "3")), pane.text())
        pane.resize(100, 40)
        self.assertTrue(pane.show("Quit Quillomatics"))
        pane.send("q")
        self.assert_restored(pane)

    def test_every_row_fits_80x24_and_narrow_widths_shorten_labels_not_values(self):
        self.create_device()
        menu = self.snapshot()["menu"]
        rows = [run_text(item) for item in menu if not item.get("separator")]
        values = re.findall(r"\d+\.\d°C|\d+ RPM", "\n".join(rows))
        self.assertGreater(len(values), 10)
        pane = self.start(width=80, height=24)
        self.assertTrue(pane.show("Quit Quillomatics"), pane.text())
        # Two boxes side by side, every row whole, the title line on top.
        text = pane.text()
        self.assertRegex(pane.lines()[0], r"^ Quillomatics .* \d+°C$")
        self.assertEqual(text.count("┌"), 2, text)
        self.assertNotIn("▼", text)
        for row in rows:
            self.assertIn(row, text)
        pane.resize(100, 50)  # tall enough for one box
        box = expected_box(menu, 100)
        self.assertTrue(wait_until(lambda: [line.rstrip() for line in pane.lines()[1:1 + len(box)]]
                                   == [line.rstrip() for line in box]), pane.text())
        # Narrow: the labels give way, with an ellipsis; every value stays whole.
        pane.resize(22, 50)
        self.assertTrue(pane.show(r"^│ Platform… +\d+\.\d°C +│$"), pane.text())
        text = pane.text()
        self.assertTrue(all(len(line) <= 22 for line in pane.lines()))
        for value in values:
            self.assertIn(value, text)
        self.assertIn("│ Fans to Full Sp… m │", text)
        pane.send("q")
        self.assert_restored(pane)

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("sudo") and shutil.which("setpriv"),
                         "needs root to run the monitor as nobody, sudo and setpriv")
    def test_password_prompt_gets_the_terminal_and_gives_it_back(self):
        # As "nobody" the SMC refuses the fan writes, so "m" runs the tool through sudo, which
        # asks for a password that nobody has: three wrong answers and the menu is back.
        os.chmod(self.dir, 0o755)
        config = os.path.join(self.dir, "config")
        os.mkdir(config)
        os.chown(config, 65534, 65534)
        self.create_device()
        command = ("setpriv --reuid=65534 --regid=65534 --clear-groups "
                   f"{shlex.quote(QUILLOMATICS)}")
        pane = Pane(self.dir, command, self.env)
        self.panes.append(pane)
        self.assertTrue(pane.show("Fans: Auto"), pane.text())
        pane.send("m")
        text = pane.show(r"\[sudo\] password for nobody")
        self.assertTrue(text, pane.text())
        self.assertIn("needs administrator rights", text)
        self.assertNotIn("Quit Quillomatics", text)
        self.assertEqual(pane.query("#{alternate_on}"), "0")
        for attempt in range(3):
            pane.send("not-the-password", "Enter")
            if attempt < 2:
                self.assertTrue(wait_until(
                    lambda: pane.text().count("try again") > attempt, timeout=10), pane.text())
        text = pane.show("Quit Quillomatics", timeout=20)
        self.assertTrue(text, pane.text())
        self.assertEqual(pane.query("#{alternate_on}"), "1")
        self.assertIn("Fans: Auto", text)  # the refused mode change left the mode alone
        # What sudo said last stays readable on the status line for a while.
        self.assertIn("incorrect password attempt", pane.lines()[0])
        self.assertNotIn("password for", text)
        self.assertTrue(wait_until(lambda: "incorrect" not in pane.lines()[0], timeout=15))
        self.assertEqual(read_key(self.device, "F0Md"), "0")
        pane.send("q")
        self.assertEqual(pane.exit_status(), 0, pane.text())

    def test_colours_and_the_degree_sign_degrade_on_simpler_terminals(self):
        self.create_device()
        sim("write", "--direct", self.device, "TC0P", "60")  # an orange title
        pane = self.start(TERM="xterm")
        self.assertTrue(pane.show("Quit Quillomatics"))
        escapes = pane.escapes()
        self.assertRegex(escapes.split("\n")[0], r"\x1b\[33m(\x1b\[[0-9;]*m)*60°C")  # yellow
        self.assertNotIn("38;5;", escapes)
        pane.send("q")
        self.assertEqual(pane.exit_status(), 0)
        os.remove(pane.exit_file)
        mono = self.start(NO_COLOR="1")
        self.assertTrue(mono.show("Quit Quillomatics"))
        escapes = mono.escapes()
        self.assertNotRegex(escapes, r"\x1b\[[0-9;]*3[0-7]m")
        self.assertRegex(escapes.split("\n")[0], r"\x1b\[[0-9;]*1m(\x1b\[[0-9;]*m)*60°C")  # bold
        mono.send("q")
        self.assertEqual(mono.exit_status(), 0)
        os.remove(mono.exit_file)
        # Without UTF-8 the degree sign is left out rather than shown as stray bytes.
        ascii_pane = self.start(LANG="C", LC_ALL="C")
        text = ascii_pane.show("Quit Quillomatics")
        self.assertTrue(text, ascii_pane.text())
        self.assertRegex(text.split("\n")[0], r" 60C$")
        self.assertRegex(text, r"CPU Proximity +60\.0C")
        self.assertIn("Fans: Auto", text)
        self.assertNotIn("°", text)
        self.assertNotIn("M-", text)
        ascii_pane.send("q")
        self.assertEqual(ascii_pane.exit_status(), 0)


    def test_terminal_without_cursor_addressing_gets_the_line_monitor(self):
        self.create_device()
        pane = self.start(TERM="dumb")
        text = pane.show("Quit Quillomatics")
        self.assertTrue(text, pane.text())
        self.assertNotIn("┌", text)
        self.assertNotIn("Space: menu", text)
        pane.send("q", "Enter")
        self.assertEqual(pane.exit_status(), 0, pane.text())

class RealSudoTest(TerminalTest):
    """The monitor run by an ordinary account that has sudo, with sudo's real password prompt.
    The test makes the account and its sudoers entry (a password on every use) and removes them
    afterwards."""

    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to make a throwaway account with sudo")
        if not all(shutil.which(p) for p in ("useradd", "userdel", "chpasswd", "visudo", "sudo")):
            self.skipTest("needs useradd, userdel, chpasswd, visudo and sudo")
        super().setUp()
        self.user = f"quillsudo{os.getpid() % 100000}"
        self.password = os.urandom(12).hex()
        self.sudoers = f"/etc/sudoers.d/{self.user}"
        subprocess.run(["useradd", "-M", "-s", "/bin/sh", self.user], check=True,
                       capture_output=True)
        try:
            self.set_up_account()
        except BaseException:
            self.tearDown()  # no account or sudoers entry left behind by a set-up that failed
            raise

    def set_up_account(self):
        subprocess.run(["chpasswd"], input=f"{self.user}:{self.password}\n", text=True,
                       check=True, capture_output=True)
        entry = (f"Defaults:{self.user} timestamp_timeout=0, lecture=never\n"
                 f"{self.user} ALL=(root) ALL\n")
        staged = os.path.join(self.dir, "sudoers")
        with open(staged, "w") as f:
            f.write(entry)
        subprocess.run(["visudo", "-cqf", staged], check=True, capture_output=True)
        shutil.copyfile(staged, self.sudoers)
        os.chmod(self.sudoers, 0o440)
        # The bundle, the device and the settings where the account can reach them; the device
        # is root's, so that the account's own writes are refused and the tool is needed.
        os.chmod(self.dir, 0o755)
        bin_dir = os.path.join(self.dir, "Quillomatics.app", "Contents", "MacOS")
        os.makedirs(bin_dir)
        for name in ("Quillomatics", "ventwarden"):
            shutil.copy2(os.path.join(os.path.dirname(QUILLOMATICS), name), bin_dir)
        self.app = os.path.join(bin_dir, "Quillomatics")
        config = os.path.join(self.dir, "config")
        os.mkdir(config)
        uid = int(subprocess.run(["id", "-u", self.user], check=True, capture_output=True,
                                 text=True).stdout)
        os.chown(config, uid, uid)
        self.uid = uid
        self.create_device(writers="root")

    def tearDown(self):
        super_dir = self.dir
        for pane in self.panes:
            pane.close()
        pid = read_file(PID_FILE).strip()
        if pid.isdigit() and int(pid) in self.tools:
            try:
                os.kill(int(pid), signal.SIGTERM)
            except OSError:
                pass
        try:
            os.remove(self.sudoers)
        except FileNotFoundError:
            pass
        # The account's processes are the ones this test started; they go before the account.
        uid = subprocess.run(["id", "-u", self.user], capture_output=True, text=True).stdout
        for entry in os.listdir("/proc") if uid.strip() else []:
            if entry.isdigit():
                try:
                    if os.stat(f"/proc/{entry}").st_uid == int(uid):
                        os.kill(int(entry), signal.SIGKILL)
                except OSError:
                    pass
        subprocess.run(["userdel", "-f", self.user], capture_output=True)
        self.panes = []
        super().tearDown()
        self.assertFalse(os.path.exists(super_dir))

    def start_as_user(self, from_shell=False):
        """The monitor as the account, directly in the pane, or typed into the account's own
        interactive shell (/bin/sh) in the pane, as a user would start it."""
        program = "/bin/sh -i" if from_shell else shlex.quote(self.app)
        command = f"setpriv --reuid={self.user} --regid={self.user} --init-groups {program}"
        env = {**self.env, "USER": self.user, "LOGNAME": self.user}
        pane = Pane(self.dir, command, env)
        self.panes.append(pane)
        self.log = os.path.join(self.dir, "pane.log")
        pane.tmux("pipe-pane", "-o", f"cat >> {shlex.quote(self.log)}")
        if from_shell:
            self.assertTrue(pane.show(r"^\$ ?$"), pane.text())
            pane.send(shlex.quote(self.app), "Enter")
        return pane

    def account_processes(self, name):
        """The processes called `name` whose real user is the account (sudo keeps it)."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            status = read_file(f"/proc/{entry}/status")
            uid = re.search(r"^Uid:\s+(\d+)", status, re.M)
            if (read_file(f"/proc/{entry}/comm").strip() == name and uid
                    and int(uid.group(1)) == self.uid and "\nState:\tZ" not in status):
                found.append(int(entry))
        return found

    def prompts(self):
        return read_file(self.log).count(f"[sudo] password for {self.user}")

    def answer(self, pane, count):
        self.assertTrue(wait_until(lambda: self.prompts() >= count),
                        f"{pane.text()}\nexit status {read_file(pane.exit_file)}\n"
                        f"{read_file(self.log)[-2000:]!r}")
        pane.send(self.password, "Enter")

    def test_quit_hands_the_fans_back_and_ctrl_c_cancels_only_the_prompt(self):
        pane = self.start_as_user()
        self.assertTrue(pane.show("Fans: Auto"), pane.text())
        pane.send("m")
        self.answer(pane, 1)
        self.assertTrue(pane.show("Fans: Manual 100%"), pane.text())
        self.assertEqual(read_key(self.device, "F0Md"), "1")
        pane.send("q")
        # Quitting asks for nothing: the root guard that came with the fans hands them back.
        self.assert_restored(pane)
        self.assertEqual(self.prompts(), 1)
        for key in ("F0Md", "F1Md"):
            self.assertTrue(wait_until(lambda: read_key(self.device, key) == "0", 1.0), key)
        pane.close()
        os.remove(pane.exit_file)
        os.remove(self.log)

        # From Proactive (the tool runs as root), m needs the stop and the tool's run: one
        # prompt. Ctrl-C and Ctrl-Z there cancel the prompt, never the monitor.
        pane = self.start_as_user()
        self.assertTrue(pane.show("Fans: Auto"), pane.text())
        pane.send("p")
        self.answer(pane, 1)
        self.assertTrue(pane.show(r"Fans: Proactive \(40-75°C\)"), pane.text())
        tool = wait_until(lambda: read_file(PID_FILE).strip())
        self.assertTrue(tool, "the tool recorded no pid file")
        self.tools.append(int(tool))
        for key, prompts in (("C-c", 2), ("C-z", 3)):
            pane.send("m")
            self.assertTrue(wait_until(lambda: self.prompts() >= prompts), pane.text())
            pane.send(key)
            text = pane.show("Quit Quillomatics")
            self.assertTrue(text, pane.text())
            self.assertIn("Fans: Proactive (40-75°C)", text)
            self.assertIsNone(pane.exit_status(timeout=0.5))
            self.assertEqual(self.prompts(), prompts)  # one prompt for the whole action
            # Nothing of the cancelled action happened: the tool was not stopped. (The pid file
            # is the machine's: other suites may remove it.)
            self.assertTrue(os.path.exists(f"/proc/{tool}"), read_file(self.log)[-3000:])
        pane.send("u")  # the monitor still answers keys
        self.assertTrue(pane.show("Switch to Celsius"), pane.text())
        pane.send("q")
        self.assert_restored(pane)  # no prompt: the tool guards the monitor and ends with it
        self.assertEqual(self.prompts(), 3)
        self.assertTrue(wait_until(lambda: process_ended(tool), 1.0), "the tool still runs")
        self.assertNotEqual(read_file(PID_FILE).strip(), tool)
        for key in ("F0Md", "F1Md"):
            self.assertEqual(read_key(self.device, key), "0")

    def test_sigkill_after_full_speed_hands_the_fans_back_and_the_next_launch_says_so(self):
        pane = self.start_as_user()
        self.assertTrue(pane.show("Fans: Auto"), pane.text())
        pane.send("m")
        self.answer(pane, 1)
        self.assertTrue(pane.show("Fans: Manual 100%"), pane.text())
        self.assertEqual(read_key(self.device, "F0Md"), "1")
        [monitor] = self.account_processes("Quillomatics")
        os.kill(monitor, signal.SIGKILL)
        # The root guard that came with the fans hands them back at once.
        for key in ("F0Md", "F1Md"):
            self.assertTrue(wait_until(lambda: read_key(self.device, key) == "0", 1.0), key)
        self.assertTrue(wait_until(lambda: not os.path.exists(PID_FILE), 1.0))
        pane.close()
        os.remove(pane.exit_file)
        pane = self.start_as_user()
        self.assertTrue(pane.show("Fans: Auto"), pane.text())
        self.assertIn("Fans to Full Speed", pane.text())
        pane.send("q")
        self.assert_restored(pane)
        self.assertEqual(self.prompts(), 1)

    def test_sigkill_at_the_prompt_leaves_no_prompt_reading_the_terminal(self):
        pane = self.start_as_user(from_shell=True)
        self.assertTrue(pane.show("Fans: Auto"), pane.text())
        pane.send("m")
        self.assertTrue(wait_until(lambda: self.prompts() >= 1), pane.text())
        self.assertTrue(self.account_processes("sudo"))
        [monitor] = self.account_processes("Quillomatics")
        os.kill(monitor, signal.SIGKILL)
        self.assertTrue(wait_until(lambda: not self.account_processes("sudo"), timeout=1.0),
                        "sudo outlived the monitor")
        self.assertTrue(pane.show("Killed"), pane.text())
        # The password typed next, by someone who missed the monitor's end, reaches neither a
        # prompt nor the shell's command line.
        pane.send("hunter2", "Enter")
        time.sleep(1.0)
        self.assertNotIn("hunter2", pane.text())
        self.assertNotIn("not found", pane.text())
        # The terminal is left as the killed monitor left it.
        subprocess.run(["stty", "-F", pane.query("#{pane_tty}"), "sane"], check=True)
        self.assertEqual(read_key(self.device, "F0Md"), "0")

    def test_termination_signals_at_the_prompt_cancel_the_action(self):
        # The tool notes every run of it before it runs.
        ran = os.path.join(self.dir, "tool-ran")
        tool = os.path.join(os.path.dirname(self.app), "ventwarden")
        os.rename(tool, tool + ".real")
        with open(tool, "w") as f:
            f.write(f"#!/bin/sh\necho \"$*\" >> {shlex.quote(ran)}\n"
                    f"exec {shlex.quote(tool + '.real')} \"$@\"\n")
        os.chmod(tool, 0o755)
        for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            with self.subTest(signal=number.name):
                pane = self.start_as_user()
                self.assertTrue(pane.show("Fans: Auto"), pane.text())
                pane.send("m")
                self.assertTrue(wait_until(lambda: self.prompts() >= 1), pane.text())
                prompt = self.account_processes("sudo")
                self.assertTrue(prompt)
                os.kill(pane.pid(), number)
                # Termination at once: the prompt's group ended, no second prompt, the terminal
                # restored.
                self.assert_restored(pane, status=128 + number)
                self.assertTrue(wait_until(
                    lambda: not any(os.path.exists(f"/proc/{p}") for p in prompt), timeout=1.0))
                self.assertEqual(self.prompts(), 1)
                for key in ("F0Md", "F1Md"):
                    self.assertEqual(read_key(self.device, key), "0")
                self.assertFalse(os.path.exists(ran), read_file(ran))
                pane.close()
                os.remove(pane.exit_file)
                os.remove(self.log)


class CommandLineTest(unittest.TestCase):
    def test_help_and_version(self):
        out = subprocess.run([QUILLOMATICS, "--help"], check=True, capture_output=True,
                             text=True).stdout
        self.assertIn("usage: Quillomatics", out)
        self.assertIn("Space", out)
        for mentioned in ("QUILLOMATICS_SMC_DEVICE", "NO_COLOR", "quillomatics/settings"):
            self.assertIn(mentioned, out)
        self.assertEqual(subprocess.run([QUILLOMATICS, "-h"], check=True, capture_output=True,
                                        text=True).stdout, out)
        for args, said in ((["--bogus"], "unknown option: --bogus\n"),
                           (["--snapshot", "--do", "explode"], "unknown action for --do: explode\n")):
            run = subprocess.run([QUILLOMATICS, *args], capture_output=True, text=True)
            self.assertEqual(run.returncode, 2)
            self.assertTrue(run.stderr.startswith(said), run.stderr)
        out = subprocess.run([QUILLOMATICS, "--version"], check=True, capture_output=True,
                             text=True).stdout
        self.assertRegex(out, r"^Quillomatics \d+\.\d+\.\d+\n$")


if __name__ == "__main__":
    QUILLOMATICS, SMC_SIM = sys.argv[1], sys.argv[2]
    # Verbose, so that a skipped test says why (and ctest reports it as skipped).
    unittest.main(argv=[sys.argv[0], *sys.argv[3:]], verbosity=2)

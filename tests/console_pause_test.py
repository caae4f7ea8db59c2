"""End-to-end tests of when the Windows program holds a failure's report on
screen, run under Wine in a pseudo-terminal, which Wine makes the program's
console. Started alone on it, as Explorer starts a program, the program is its
console's only process; started through cmd /c, it shares the console as it
does under a Command Prompt or a batch file.

Usage: python3 tests/console_pause_test.py PROGRAM RUNNER...
(RUNNER...: the command that starts a Windows program here, cmake/wine.sh)
"""
import os
import pty
import re
import select
import shutil
import signal
import sys
import tempfile
import time
import unittest

PROGRAM = os.path.abspath(sys.argv[1])
RUNNER = [os.path.abspath(word) if os.path.exists(word) else word for word in sys.argv[2:]]
PROMPT = "Press Enter to close this window."
REPORT = ["open: No such file or directory", "apparent state: unit 1 named DATOS.DAT"]
EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "DATOS.DAT")
# How long a start under Wine may take, and how long a program that waits
# is watched before Enter.
START_SECONDS = 30
WATCH_SECONDS = 1.5


def visible(text):
    """The text of the terminal's output (bytes) or a line (str), without
    escape sequences, CRs and blanks (the console may move the cursor instead
    of writing a blank)."""
    if isinstance(text, bytes):
        text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", text).decode("ascii", "replace")
    return re.sub(r"[ \r]", "", text)


class Terminal:
    """The program started with `arguments` in `directory`, on a new
    pseudo-terminal; `command_prefix` goes before the program (cmd /c)."""

    def __init__(self, directory, arguments=(), command_prefix=(), stdin_file=None):
        command = RUNNER + list(command_prefix) + [PROGRAM] + list(arguments)
        self.pid, self.master = pty.fork()
        if self.pid == 0:
            os.chdir(directory)
            if stdin_file is not None:
                descriptor = os.open(stdin_file, os.O_RDONLY)
                os.dup2(descriptor, 0)
            os.execvp(command[0], command)
        self.output = b""
        self.status = None

    def poll(self, seconds, until=None):
        """Reads the output for at most `seconds`, or until the program has
        ended, or until `until` (a predicate of the visible text) holds."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if until is not None and until(visible(self.output)):
                return
            if self.status is None:
                done, status = os.waitpid(self.pid, os.WNOHANG)
                if done:
                    self.status = os.waitstatus_to_exitcode(status)
            readable, _, _ = select.select([self.master], [], [], 0.05)
            if readable:
                try:
                    chunk = os.read(self.master, 4096)
                except OSError:  # the terminal's last process has gone
                    chunk = b""
                self.output += chunk
                if chunk:
                    continue
            if self.status is not None:
                return

    def press_enter_until_ended(self, seconds):
        """Presses Enter every half second until the program ends."""
        end = time.monotonic() + seconds
        while self.status is None and time.monotonic() < end:
            os.write(self.master, b"\r")
            self.poll(0.5)

    def close(self):
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.master)


class ConsolePause(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="console-pause-")
        self.addCleanup(shutil.rmtree, self.directory)

    def start(self, directory, **options):
        terminal = Terminal(directory, **options)
        self.addCleanup(terminal.close)
        return terminal

    def test_alone_on_its_console_a_failure_waits_for_enter(self):
        terminal = self.start(self.directory)
        terminal.poll(START_SECONDS, until=lambda text: visible(PROMPT) in text)
        text = visible(terminal.output)
        self.assertIn(visible(PROMPT), text)
        before_prompt = text.split(visible(PROMPT))[0]
        for line in REPORT:
            self.assertIn(visible(line), before_prompt)
        terminal.poll(WATCH_SECONDS)
        self.assertIsNone(terminal.status, "ended without waiting for Enter")
        terminal.press_enter_until_ended(START_SECONDS)
        self.assertEqual(terminal.status, 3)

    def test_never_waits_otherwise(self):
        # (what, element file or None, options, exit status, a line the output shows)
        cases = [
            ("a failure from a Command Prompt", None, dict(command_prefix=["cmd", "/c"]), 3,
             REPORT[0]),
            ("a failure with its input redirected", None, dict(stdin_file=os.devnull), 3,
             REPORT[0]),
            ("a successful run", EXAMPLE, {}, 0, None),
            ("a check that fails", None, dict(arguments=["--check"]), 2, REPORT[0]),
            ("help", None, dict(arguments=["/?"]), 0, "Usage: ephemeris"),
        ]
        for what, elements, options, status, shown in cases:
            with self.subTest(what):
                directory = tempfile.mkdtemp(dir=self.directory)
                if elements is not None:
                    shutil.copy(elements, directory)
                terminal = self.start(directory, **options)
                terminal.poll(START_SECONDS)
                text = visible(terminal.output)
                self.assertEqual(terminal.status, status, text)
                self.assertNotIn(visible(PROMPT), text)
                if shown is not None:
                    self.assertIn(visible(shown), text)
                table = os.path.join(directory, "VESK.DAT")
                self.assertEqual(os.path.exists(table), elements is not None)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)

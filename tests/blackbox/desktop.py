"""Drives the built Quorvex on a virtual X server the way a user would.

A Desktop is one private Xvfb screen (1024x768) with a private runtime
folder. It starts copies of the program on that screen, finds their windows by
title, clicks and types with xdotool and reads the clipboard with xclip.
Every process it starts is ended when the test that owns it ends, even when
the test fails.
"""

import os
import select
import shutil
import subprocess
import tempfile
import time
import unittest

SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768

# The window's inner size and where its controls stand in it, in pixels.
CLIENT_WIDTH = 459
CLIENT_HEIGHT = 274
OPTION_TOPS = {1: 22, 2: 42, 3: 62, 4: 82}  # each 16 high, from x = 20
OPTION_LEFT = 20
LENGTH_BOX = (204.5, 116, 50, 24)  # left, top, width, height
GENERATE_BUTTON = (179.5, 148, 100, 30)
OUTPUT_BOX = (20, 218, 419, 34)

MAIN_TITLE = "Quorvex"
ERROR_TITLE = "Error"
WARNING_TITLE = "Warning!"

COMMAND_TIMEOUT = 30  # seconds for one helper command
WAIT_TIMEOUT = 30  # seconds for something the user waits for


def executable_from_environment():
    path = os.environ.get("QUORVEX_EXECUTABLE", "")
    if not path or not os.access(path, os.X_OK):
        raise unittest.SkipTest("QUORVEX_EXECUTABLE does not name the built program")
    return path


def wait_until(predicate, what, timeout=WAIT_TIMEOUT, interval=0.05):
    """Polls predicate until it gives a true value, which it returns."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %gs waiting for %s" % (timeout, what))
        time.sleep(interval)


def end_process(process):
    """Ends a process that this module started, and reaps it."""
    if process.poll() is None:
        try:
            process.terminate()
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=10)
        except ProcessLookupError:
            pass
    for stream in (process.stdin, process.stdout, process.stderr):
        if stream is not None:
            stream.close()


def centre(rect):
    left, top, width, height = rect
    return left + width / 2, top + height / 2


class Desktop:
    """One virtual X screen with a private runtime folder, owned by a test."""

    def __init__(self, test, executable):
        self.test = test
        self.executable = executable
        self.folder = tempfile.mkdtemp(prefix="quorvex-bb-")
        test.addCleanup(shutil.rmtree, self.folder, True)
        self.runtime_dir = os.path.join(self.folder, "runtime")
        os.mkdir(self.runtime_dir, 0o700)
        os.chmod(self.runtime_dir, 0o700)
        self.display = self._start_server()
        self.env = dict(os.environ)
        # The program chooses its own platform: the X server of this desktop.
        for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XAUTHORITY"):
            self.env.pop(name, None)
        self.env["DISPLAY"] = self.display
        self.env["XDG_RUNTIME_DIR"] = self.runtime_dir
        self.env["HOME"] = self.folder
        self.env["XDG_CACHE_HOME"] = os.path.join(self.folder, "cache")
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.folder, "config")

    # --- the X server -----------------------------------------------------

    def _start_server(self):
        """Starts Xvfb on the first free display number from a base that
        depends on this process, so that suites running side by side rarely
        try the same numbers; returns the display name."""
        base = 200 + os.getpid() % 600
        for number in range(base, base + 400):
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists(
                "/tmp/.X11-unix/X%d" % number
            ):
                continue
            read_end, write_end = os.pipe()
            # -noreset: without it the server resets each time its last
            # client leaves, and a program connecting during the reset fails.
            try:
                server = subprocess.Popen(
                    ["Xvfb", ":%d" % number, "-screen", "0",
                     "%dx%dx24" % (SCREEN_WIDTH, SCREEN_HEIGHT),
                     "-nolisten", "tcp", "-noreset", "-displayfd", str(write_end)],
                    pass_fds=(write_end,),
                    stdin=subprocess.DEVNULL,
                    stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL,
                    start_new_session=True,
                )
            finally:
                os.close(write_end)
            # Xvfb writes the display number once it accepts connections, and
            # the pipe closes without it when the number is taken.
            answer = b""
            deadline = time.monotonic() + WAIT_TIMEOUT
            try:
                while not answer.endswith(b"\n") and time.monotonic() < deadline:
                    ready, _, _ = select.select([read_end], [], [], 0.5)
                    if ready:
                        chunk = os.read(read_end, 64)
                        if not chunk:
                            break
                        answer += chunk
            finally:
                os.close(read_end)
            if answer.strip():
                self.test.addCleanup(end_process, server)
                return ":" + answer.decode().strip()
            end_process(server)
        raise AssertionError("no free display for Xvfb")

    # --- programs ---------------------------------------------------------

    def program_output(self, process):
        """What a copy of the program wrote to its standard output and error."""
        try:
            with open(os.path.join(self.folder, "quorvex-%d.log" % process.pid), "rb") as log:
                return log.read().decode(errors="replace")[-4000:] or "(nothing)"
        except OSError:
            return "(no log)"

    def start_quorvex(self):
        log = open(os.path.join(self.folder, "quorvex-%d.log" % time.monotonic_ns()), "wb")
        self.test.addCleanup(log.close)
        process = subprocess.Popen(
            [self.executable],
            env=self.env,
            cwd=self.folder,
            stdin=subprocess.DEVNULL,
            stdout=log,
            stderr=subprocess.STDOUT,
        )
        os.rename(log.name, os.path.join(self.folder, "quorvex-%d.log" % process.pid))
        self.test.addCleanup(end_process, process)
        return process

    def run(self, *args, check=True, timeout=COMMAND_TIMEOUT):
        result = subprocess.run(
            list(args), env=self.env, capture_output=True, timeout=timeout,
            stdin=subprocess.DEVNULL)
        if check and result.returncode != 0:
            raise AssertionError("%s failed (%d): %s" % (
                " ".join(args), result.returncode, result.stderr.decode(errors="replace")))
        return result

    def xdotool(self, *args, check=True):
        return self.run("xdotool", *args, check=check).stdout.decode()

    # --- windows ------------------------------------------------------------

    def windows(self, title, pid=None):
        """The visible top-level windows titled exactly `title`."""
        pattern = "^" + "".join("\\" + c if not c.isalnum() else c for c in title) + "$"
        result = self.run("xdotool", "search", "--onlyvisible", "--name", pattern, check=False)
        found = [int(line) for line in result.stdout.decode().split()]
        if pid is not None:
            found = [w for w in found if self.window_pid(w) == pid]
        return found

    def window_pid(self, window):
        result = self.run("xdotool", "getwindowpid", str(window), check=False)
        text = result.stdout.decode().strip()
        return int(text) if result.returncode == 0 and text.isdigit() else None

    def wait_window(self, title, pid=None, timeout=WAIT_TIMEOUT):
        windows = wait_until(lambda: self.windows(title, pid),
                             "a window titled %r" % title, timeout)
        return windows[0]

    def wait_gone(self, window, title, timeout=WAIT_TIMEOUT):
        wait_until(lambda: window not in self.windows(title),
                   "the window titled %r to close" % title, timeout)

    def geometry(self, window):
        """(x, y, width, height) of a window's inner area on the screen."""
        text = self.run("xwininfo", "-id", str(window)).stdout.decode()
        values = {}
        for line in text.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def focus(self, window):
        """Gives a window the keyboard, as a window manager would on a click."""
        self.xdotool("windowfocus", "--sync", str(window))

    def focused_window(self):
        return int(self.xdotool("getwindowfocus").strip())

    def click(self, window, x, y):
        self.xdotool("mousemove", "--window", str(window), str(round(x)), str(round(y)),
                     "click", "1")

    def key(self, *keys):
        self.xdotool("key", "--delay", "20", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "20", "--", text)

    # --- selections ---------------------------------------------------------

    def read_selection(self, selection="clipboard", target=None):
        """The text of a selection, or None when no owner offers it."""
        args = ["xclip", "-selection", selection, "-o"]
        if target:
            args[3:3] = ["-t", target]
        result = self.run(*args, check=False)
        if result.returncode != 0:
            return None
        return result.stdout.decode("utf-8")

    def offer_selection(self, text, selection="clipboard"):
        """Puts text on a selection with xclip, which serves it until another
        program takes the selection over."""
        server = subprocess.Popen(
            ["xclip", "-selection", selection, "-i", "-quiet"],
            env=self.env, stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.test.addCleanup(end_process, server)
        server.stdin.write(text.encode())
        server.stdin.close()
        server.stdin = None
        wait_until(lambda: self.read_selection(selection) == text,
                   "xclip to own the %s selection" % selection)
        return server

    def new_sentinel(self, selection="clipboard"):
        """Puts a fresh marker text on a selection and returns it."""
        text = "sentinel-%d" % time.monotonic_ns()
        self.offer_selection(text, selection)
        return text


class MainWindow:
    """The program's window, used through its controls' screen places."""

    def __init__(self, desktop, process):
        self.desktop = desktop
        self.process = process
        try:
            self.window = desktop.wait_window(MAIN_TITLE, process.pid)
        except AssertionError as error:
            raise AssertionError("%s; the program %s; its output: %s" % (
                error, "ended with %s" % process.returncode
                if process.poll() is not None else "runs",
                desktop.program_output(process))) from None
        self._output_clicks = 0

    def focus(self):
        self.desktop.focus(self.window)

    def click(self, x, y):
        self.desktop.click(self.window, x, y)

    def choose_option(self, number):
        # The indicator and the start of the caption: a click there selects.
        self.click(OPTION_LEFT + 8, OPTION_TOPS[number] + 8)

    def set_length(self, text):
        self.click(*centre(LENGTH_BOX))
        self.desktop.key("ctrl+a", "BackSpace")
        if text:
            self.desktop.type(text)

    def press_generate(self):
        self.click(*centre(GENERATE_BUTTON))

    def click_output(self):
        """Clicks into the output box, which leaves nothing selected. Two
        clicks in a row land apart, so that they never make a double click."""
        x, y = centre(OUTPUT_BOX)
        self._output_clicks += 1
        self.click(x + (60 if self._output_clicks % 2 else -60), y)

    def copy_output(self):
        """Selects the whole output and copies it with Ctrl+C; returns what the
        clipboard then holds."""
        marker = self.desktop.new_sentinel()
        self.click_output()
        self.desktop.key("ctrl+a", "ctrl+c")
        return wait_until_changed(self.desktop, marker)

    def generate(self, length_text, option=None):
        if option is not None:
            self.choose_option(option)
        self.set_length(length_text)
        self.press_generate()

    def wait_box(self, title):
        return self.desktop.wait_window(title, self.process.pid)

    def answer_box(self, title, *keys):
        """Waits for a message box of this program, gives it the keyboard and
        presses keys in it; returns once it has closed."""
        box = self.wait_box(title)
        self.desktop.focus(box)
        self.desktop.key(*keys)
        self.desktop.wait_gone(box, title)


def wait_until_changed(desktop, marker, selection="clipboard"):
    """Waits until another owner offers text on the selection instead of
    marker; returns that text."""

    def changed():
        text = desktop.read_selection(selection)
        return (text,) if text is not None and text != marker else None

    return wait_until(changed, "the %s selection to change" % selection)[0]

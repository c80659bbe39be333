"""Drives the built Quorvex on a private Xvfb screen the way a user would.

Windows are found by title with xdotool, which also clicks and types; the
clipboard is read and filled with xclip. Every process started here ends
with the test that owns it, even when the test fails.

QUORVEX_EXECUTABLE names the Linux program, or the Windows program
(Quorvex.exe), which then runs under wine in the prefix QUORVEX_WINEPREFIX;
each test ends the prefix's wineserver, and the tests of one prefix run one
after another.
"""

import os
import select
import shutil
import signal
import string
import subprocess
import tempfile
import time
import unittest

SCREEN = (1024, 768)
CLIENT_SIZE = (459, 274)  # the window's inner size
OPTION_TOPS = {1: 22, 2: 42, 3: 62, 4: 82}  # option buttons, from x = 20
LENGTH_BOX = (204.5, 116, 50, 24)  # left, top, width, height
GENERATE_BUTTON = (179.5, 148, 100, 30)
OUTPUT_BOX = (20, 218, 419, 34)
# The frame around the inner area (left, top, right, bottom): none drawn by
# the Linux program itself; on Windows the fixed single border and the title
# bar of the design, 3 and 22 pixels, which wine keeps even where no window
# manager draws them.
FRAME_INSETS = {"linux": (0, 0, 0, 0), "windows": (3, 22, 3, 3)}
# Where the output box's line of text runs, from its top: the middle of the
# box, or on Windows above the box's horizontal scroll bar, which takes more
# than its lower half.
OUTPUT_LINE = {"linux": OUTPUT_BOX[3] / 2, "windows": 9}

MAIN_TITLE = "Quorvex"
ERROR_TITLE = "Error"
WARNING_TITLE = "Warning!"
TIMEOUT = 30  # seconds for a helper command or for what a user waits for

# Window managers, as started on a test's screen; "{folder}" is the
# desktop's own folder.
WINDOW_MANAGERS = {
    "openbox": ["openbox", "--sm-disable"],
    "fluxbox": ["fluxbox"],
    "icewm": ["icewm"],
    "i3": ["i3", "-c", "{folder}/i3.conf"],
    # The managers below reach their settings and services over D-Bus: each
    # gets a session bus of its own, never the one of whoever runs the tests.
    "xfwm4": ["dbus-run-session", "--", "xfwm4", "--compositor=off"],
    "metacity": ["dbus-run-session", "--", "metacity", "--sm-disable"],
    # GNOME's manager without a GNOME session, on the X server it is given.
    "mutter": ["dbus-run-session", "--", "mutter", "--x11", "--replace", "--sm-disable"],
    "kwin_x11": ["dbus-run-session", "--", "kwin_x11", "--replace"],
}

_ALNUM = set(string.ascii_letters + string.digits)
_SYMBOLS = set("!@#$%^&*()-_+;:,.")
OPTION_SETS = {1: set(string.digits), 2: _ALNUM, 3: _ALNUM | _SYMBOLS,
               4: _ALNUM | _SYMBOLS | set("=[]{}'<>/?\\|`~")}


# Sends _NET_CLOSE_WINDOW for the window given as the first argument.
_CLOSE_WINDOW = """
import sys
from Xlib import X, display
from Xlib.protocol import event
d = display.Display()
close = d.intern_atom("_NET_CLOSE_WINDOW")
window = d.create_resource_object("window", int(sys.argv[1]))
d.screen().root.send_event(
    event.ClientMessage(window=window, client_type=close, data=(32, [0, 2, 0, 0, 0])),
    event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
d.flush()
"""


def wait_until(predicate, what, timeout=TIMEOUT):
    """Polls predicate until it gives a true value, which it returns."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %gs waiting for %s" % (timeout, what))
        time.sleep(0.05)
    return value


def end_process(process):
    """Ends a process started here, and reaps it."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=10)
    for stream in (process.stdin, process.stdout, process.stderr):
        if stream is not None:
            stream.close()


def end_process_group(process):
    """Ends a process started in a session of its own (start_new_session)
    together with everything it started there, and reaps it: the session bus
    that dbus-run-session leaves running when it or its child ends first,
    the accessibility bus of at-spi-bus-launcher, the helpers of a window
    manager or compositor."""
    def signal_group(number):
        try:
            os.killpg(process.pid, number)
            return True
        except ProcessLookupError:
            return False
    signal_group(signal.SIGTERM)
    end_process(process)
    deadline = time.monotonic() + 5
    while signal_group(0) and time.monotonic() < deadline:
        time.sleep(0.05)
    signal_group(signal.SIGKILL)


def centre(rect):
    left, top, width, height = rect
    return left + width / 2, top + height / 2


def private_network(test):
    """A network namespace of the test's own, kept by a sleeping process
    until the test ends; returns the command prefix that enters it. The
    program's single-instance guard is an abstract socket, which belongs to
    the network namespace: copies of one test meet each other and no copy of
    another test running beside it as the same user. (The X server is
    reached through its socket file, from any namespace.)"""
    own = os.readlink("/proc/self/ns/net")
    for unshare, enter in ((["unshare", "--net"], ["--net"]),
                           (["unshare", "--user", "--map-root-user", "--net"],
                            ["--user", "--net"])):
        try:
            holder = subprocess.Popen(unshare + ["sleep", "infinity"],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL, start_new_session=True)
        except OSError:
            break
        test.addCleanup(end_process, holder)

        def entered():
            if holder.poll() is not None:
                return "failed"
            try:
                return os.readlink("/proc/%d/ns/net" % holder.pid) != own
            except OSError:
                return False
        if wait_until(entered, "a network namespace") is True:
            return ["nsenter", "--target", str(holder.pid)] + enter + ["--"]
    # No namespace to be had: copies meet every copy of this user.
    return []


def platform_of(executable):
    """"windows" for Quorvex.exe, run under wine, else "linux"."""
    return "windows" if executable.lower().endswith(".exe") else "linux"


class Desktop:
    """One virtual X screen with a private HOME and runtime folder."""

    def __init__(self, test, executable):
        self.test = test
        self.executable = executable
        self.platform = platform_of(executable)
        self.folder = tempfile.mkdtemp(prefix="quorvex-bb-")
        test.addCleanup(shutil.rmtree, self.folder, True)
        self.home = os.path.join(self.folder, "home")
        self.runtime_dir = os.path.join(self.folder, "runtime")
        for path in (self.home, self.runtime_dir):
            os.mkdir(path)
            os.chmod(path, 0o700)
        self.display = self._start_server()
        # Put before a command, runs it in this desktop's network namespace.
        # (Copies under wine meet through their wineserver instead.)
        self.enter = private_network(test) if self.platform == "linux" else []
        self.env = dict(os.environ, DISPLAY=self.display, HOME=self.home,
                        XDG_RUNTIME_DIR=self.runtime_dir)
        if self.platform == "windows":
            self._use_wine()
        # The program finds its own platform (this screen) and user folders.
        for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_CACHE_HOME",
                     "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
            self.env.pop(name, None)
        self._started = 0

    def _use_wine(self):
        """Runs the Windows program in the prefix the build made, with a
        wineserver of this test's own: ended when the test ends, before the
        X server. A window manager (openbox) stands in for Windows' own: wine
        leaves the frames and the keyboard's way back from a closed box to
        it."""
        self.env.update(WINEPREFIX=os.environ["QUORVEX_WINEPREFIX"], WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        wineserver = ["wineserver"]

        def end_wineserver():
            subprocess.run(wineserver + ["-k"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT)
            subprocess.run(wineserver + ["-w"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT)
        end_wineserver()  # one left behind by a test that was killed
        self.test.addCleanup(end_wineserver)
        self.start_window_manager("openbox")

    def _start_server(self):
        """Starts Xvfb on the first free display from a base that depends on
        this process, so that suites side by side rarely collide."""
        base = 200 + os.getpid() % 600
        for number in range(base, base + 400):
            if (os.path.exists("/tmp/.X%d-lock" % number)
                    or os.path.exists("/tmp/.X11-unix/X%d" % number)):
                continue
            read_end, write_end = os.pipe()
            # -noreset: else a client connecting as the last one leaves fails.
            try:
                server = subprocess.Popen(
                    ["Xvfb", ":%d" % number, "-screen", "0", "%dx%dx24" % SCREEN,
                     "-nolisten", "tcp", "-noreset", "-displayfd", str(write_end)],
                    pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                    start_new_session=True)
            finally:
                os.close(write_end)
            # Xvfb writes its number once it serves; the pipe closes without
            # it when the number is taken.
            answer = b""
            deadline = time.monotonic() + TIMEOUT
            try:
                while not answer.endswith(b"\n") and time.monotonic() < deadline:
                    if select.select([read_end], [], [], 0.5)[0]:
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

    def start_quorvex(self, verbose=False, args=(), env=None, prefix=(), cwd=None):
        """Starts a copy of the program with its output streams in files;
        verbose lets every debug message of the program and Qt through; args
        go on its command line; env replaces the desktop's environment, cwd
        its home as the working folder; prefix is a command that runs the
        program (prlimit, setpriv, ...)."""
        env = self.env if env is None else env
        if verbose:
            env = dict(env, QT_LOGGING_RULES="*.debug=true")
        self._started += 1
        paths = [os.path.join(self.folder, "%d.%s" % (self._started, name))
                 for name in ("out", "err")]
        with open(paths[0], "wb") as out, open(paths[1], "wb") as err:
            program = ["wine", self.executable] if self.platform == "windows" else [self.executable]
            process = subprocess.Popen(self.enter + list(prefix) + program + list(args),
                                       env=env, cwd=cwd or self.home,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        process.stream_paths = paths
        self.test.addCleanup(end_process, process)
        return process

    @staticmethod
    def streams(process):
        """What a copy of the program wrote to its stdout and stderr."""
        result = []
        for path in process.stream_paths:
            with open(path, "rb") as stream:
                result.append(stream.read())
        return result

    def run(self, *args, check=True):
        result = subprocess.run(args, env=self.env, capture_output=True, timeout=TIMEOUT,
                                stdin=subprocess.DEVNULL, encoding="utf-8", errors="replace")
        if check and result.returncode != 0:
            raise AssertionError("%s failed (%d): %s" % (
                " ".join(args), result.returncode, result.stderr))
        return result

    def xdotool(self, *args):
        return self.run("xdotool", *args).stdout

    def close(self, window):
        """Asks the window manager to close a window, as the close button on
        its frame does (_NET_CLOSE_WINDOW, through Debian's python3-xlib)."""
        self.run("/usr/bin/python3", "-c", _CLOSE_WINDOW, str(window))

    def windows(self, title, pid=None):
        """The visible top-level windows titled exactly `title`."""
        pattern = "^%s$" % "".join(c if c.isalnum() else "\\" + c for c in title)
        result = self.run("xdotool", "search", "--onlyvisible", "--name", pattern, check=False)
        found = [int(line) for line in result.stdout.split()]
        return [w for w in found if pid is None or self.window_pid(w) == pid]

    def window_pid(self, window):
        text = self.run("xdotool", "getwindowpid", str(window), check=False).stdout.strip()
        return int(text) if text.isdigit() else None

    def wait_window(self, title, pid=None):
        return wait_until(lambda: self.windows(title, pid), "a window titled %r" % title)[0]

    def answer_box(self, box, title, *keys):
        """Gives a box the keyboard, presses keys, and waits for it to close."""
        self.focus(box)
        self.key(*keys)
        wait_until(lambda: box not in self.windows(title), "the %r box to close" % title)

    def geometry(self, window):
        """(x, y, width, height) of a window's inner area on the screen."""
        values = {}
        for line in self.run("xwininfo", "-id", str(window)).stdout.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return tuple(int(values[key]) for key in (
            "Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def focus(self, window):
        """Gives a window the keyboard, as a window manager would."""
        self.xdotool("windowfocus", "--sync", str(window))

    def key(self, *keys):
        self.xdotool("key", "--delay", "20", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "20", "--", text)

    def read_selection(self, selection="clipboard", target=None):
        """The text of a selection, or None when no owner offers it."""
        target_args = ["-t", target] if target else []
        result = self.run("xclip", "-selection", selection, *target_args, "-o", check=False)
        return result.stdout if result.returncode == 0 else None

    def new_sentinel(self, selection="clipboard"):
        """Has xclip offer a fresh marker on a selection; returns the marker."""
        text = "sentinel-%d" % time.monotonic_ns()
        server = subprocess.Popen(["xclip", "-selection", selection, "-i", "-quiet"],
                                  env=self.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.test.addCleanup(end_process, server)
        server.stdin.write(text.encode())
        server.stdin.close()
        server.stdin = None
        wait_until(lambda: self.read_selection(selection) == text, "xclip's selection")
        if self.platform == "windows":
            # wine copies what X offers into Windows' clipboard a moment
            # later, from a thread of its own: a copy made before would be
            # overwritten. Nothing outside wine shows when it is done.
            time.sleep(0.5)
        return text

    def wait_selection_taken(self, marker, selection="primary"):
        """Waits until marker is no longer offered: another owner took the
        selection, whether it offers text or not."""
        wait_until(lambda: self.read_selection(selection) != marker,
                   "the %s selection to be taken" % selection)

    def set_layout(self, *setxkbmap_args):
        """Gives the screen's keyboard another layout, as setxkbmap takes it."""
        self.run("setxkbmap", *setxkbmap_args)

    def start_window_manager(self, name):
        """Starts a manager of WINDOW_MANAGERS on the screen and waits until
        it manages windows and its task bar has set the work area."""
        command = [part.format(folder=self.folder) for part in WINDOW_MANAGERS[name]]
        if shutil.which(name) is None:
            raise unittest.SkipTest("%s is not installed" % name)
        with open(os.path.join(self.folder, "i3.conf"), "w", encoding="utf-8") as conf:
            conf.write("font pango:DejaVu Sans 10\n")
        manager = subprocess.Popen(command, env=dict(self.env, NO_AT_BRIDGE="1"),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        self.test.addCleanup(end_process_group, manager)
        wait_until(lambda: "window id" in self.run(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False).stdout,
            "%s to manage the screen" % name)
        areas = []

        def settled():
            areas.append(self.run("xprop", "-root", "_NET_WORKAREA", check=False).stdout)
            return len(areas) > 10 and len(set(areas[-10:])) == 1
        wait_until(settled, "%s's work area to settle" % name)
        return manager

    def changed_selection(self, marker, selection="clipboard", timeout=TIMEOUT):
        """Waits for another owner to offer text instead of marker; returns it."""
        def changed():
            text = self.read_selection(selection)
            return (text,) if text not in (None, marker) else None
        return wait_until(changed, "the %s selection to change" % selection, timeout)[0]


class MainWindow:
    """The program's window, used through the screen places of its controls."""

    def __init__(self, desktop, process, scale=1):
        self.desktop = desktop
        self.process = process
        self.scale = scale  # device pixels a logical one (QT_SCALE_FACTOR)
        try:
            self.window = desktop.wait_window(MAIN_TITLE, process.pid)
        except AssertionError as error:
            raise AssertionError("%s; exit status %s; output %r" % (
                error, process.poll(), desktop.streams(process))) from None
        self._output_clicks = 0

    def focus(self):
        self.desktop.focus(self.window)

    def click(self, x, y):
        self.desktop.xdotool("mousemove", "--window", str(self.window),
                             str(round(x * self.scale)), str(round(y * self.scale)),
                             "click", "1")

    def generate(self, length_text, option=None):
        """Chooses an option, types a length and presses the button."""
        if option is not None:
            self.click(28, OPTION_TOPS[option] + 8)
        self.click(*centre(LENGTH_BOX))
        self.desktop.key("ctrl+a", "BackSpace")
        if length_text:
            self.desktop.type(length_text)
        self.press_generate()

    def press_generate(self):
        self.click(*centre(GENERATE_BUTTON))

    def click_output(self):
        """Clicks into the output box, leaving nothing selected; clicks in a
        row land apart so that they never make a double click."""
        x = centre(OUTPUT_BOX)[0]
        y = OUTPUT_BOX[1] + OUTPUT_LINE[self.desktop.platform]
        self._output_clicks += 1
        self.click(x + (60 if self._output_clicks % 2 else -60), y)

    def copy_output(self):
        """Copies the whole output with Ctrl+C; returns the clipboard's text.
        Under wine the copy is made up to three times: now and then wine
        lets X keep the marker, when it copies the marker into Windows'
        clipboard after the program's copy."""
        attempts = 3 if self.desktop.platform == "windows" else 1
        for attempt in range(attempts):
            marker = self.desktop.new_sentinel()
            self.click_output()
            self.desktop.key("ctrl+a", "ctrl+c")
            try:
                return self.desktop.changed_selection(
                    marker, timeout=TIMEOUT if attempt == attempts - 1 else 10)
            except AssertionError:
                if attempt == attempts - 1:
                    raise

    def answer_box(self, title, *keys):
        """Answers a message box of this copy with keys."""
        box = self.desktop.wait_window(title, self.process.pid)
        self.desktop.answer_box(box, title, *keys)


class QuorvexTest(unittest.TestCase):
    """Gives each test a desktop of its own for the program built."""

    def setUp(self):
        executable = os.environ.get("QUORVEX_EXECUTABLE", "")
        if not os.access(executable, os.X_OK):
            raise unittest.SkipTest("QUORVEX_EXECUTABLE does not name the built program")
        self.desktop = Desktop(self, executable)

    def start_main(self, **start_args):
        """Starts the program (start_args as for Desktop.start_quorvex) and
        gives its window the keyboard."""
        main = MainWindow(self.desktop, self.desktop.start_quorvex(**start_args))
        main.focus()
        return main

    def assert_password(self, password, length, option=2):
        self.assertEqual(len(password), length, "password %r" % password[:80])
        strangers = set(password) - OPTION_SETS[option]
        self.assertFalse(strangers, "not in the set of Option%d: %r" % (option, strangers))


def use_dark_scheme(desktop, dark=True):
    """Has the program take qt6ct's "darker" colour scheme (or, not dark, the
    style's own colours) with the Fusion style, through qt6ct's own
    configuration file, as a user of it would. qt6ct watches the file's
    folder, so calling this again changes the scheme of a running program;
    the file is replaced whole, as qt6ct's own settings tool saves it."""
    config = os.path.join(desktop.folder, "config")
    os.makedirs(os.path.join(config, "qt6ct"), exist_ok=True)
    path = os.path.join(config, "qt6ct", "qt6ct.conf")
    with open(path + ".new", "w", encoding="utf-8") as conf:
        conf.write("[Appearance]\n"
                   "color_scheme_path=/usr/share/qt6ct/colors/darker.conf\n"
                   "custom_palette=%s\n"
                   "style=Fusion\n" % ("true" if dark else "false"))
    os.replace(path + ".new", path)
    desktop.env.update(QT_QPA_PLATFORMTHEME="qt6ct", XDG_CONFIG_HOME=config)

"""Black-box tests of what the built Quorvex leaves behind.

The password leaves the program only through the clipboard: not on its output
streams, not in any file. The single-instance lock lives in a folder that only
the user can enter, also when the runtime folder is missing or not private.
The path of the program comes from the environment variable
QUORVEX_EXECUTABLE.
"""

import os
import pwd
import socket
import stat
import struct
import subprocess
import unittest

from desktop import (ERROR_TITLE, MAIN_TITLE, WAIT_TIMEOUT, Desktop, MainWindow,
                     end_process, executable_from_environment)

LOCK_FILE = "quorvex.lock"


def close_window(display, window):
    """Asks a window to close as a window manager's close box does: sends it
    the WM_DELETE_WINDOW client message over the X protocol."""
    number = display.lstrip(":").split(".")[0]
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
        connection.settimeout(WAIT_TIMEOUT)
        connection.connect("/tmp/.X11-unix/X%s" % number)

        def receive(size):
            data = b""
            while len(data) < size:
                chunk = connection.recv(size - len(data))
                if not chunk:
                    raise AssertionError("the X server closed the connection")
                data += chunk
            return data

        # Connection set-up, little-endian, protocol 11.0, no authorisation.
        connection.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
        head = receive(8)
        extra = receive(struct.unpack("<H", head[6:8])[0] * 4)
        if head[0] != 1:
            raise AssertionError("the X server refused: %r" % extra)

        def intern_atom(name):
            raw = name.encode()
            pad = b"\0" * (-len(raw) % 4)
            connection.sendall(struct.pack("<BBHHxx", 16, 0, 2 + (len(raw) + len(pad)) // 4,
                                           len(raw)) + raw + pad)
            while True:
                reply = receive(32)
                if reply[0] == 1:
                    return struct.unpack("<I", reply[8:12])[0]
                if reply[0] == 0:
                    raise AssertionError("X error %d interning %s" % (reply[1], name))

        protocols = intern_atom("WM_PROTOCOLS")
        delete = intern_atom("WM_DELETE_WINDOW")
        # ClientMessage, format 32: WM_DELETE_WINDOW at CurrentTime. An empty
        # event mask sends it to the client that made the window.
        event = struct.pack("<BBHII5I", 33, 32, 0, window, protocols, delete, 0, 0, 0, 0)
        connection.sendall(struct.pack("<BBHII", 25, 0, 11, window, 0) + event)
        # One more round trip: the server has handled the event when it answers.
        intern_atom("WM_PROTOCOLS")


def files_under(folder):
    """Every regular file below folder, links not followed."""
    found = []
    for parent, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(parent, name)
            if stat.S_ISREG(os.lstat(path).st_mode):
                found.append(path)
    return found


def encodings(text):
    """The byte forms text could take in a stream or a file."""
    return [text.encode(codec) for codec in ("utf-8", "utf-16-le", "utf-16-be", "utf-32-le")]


class PasswordHygieneTest(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(self, executable_from_environment())
        folder = self.desktop.folder
        self.home = os.path.join(folder, "home")
        os.mkdir(self.home, 0o700)
        self.runtime_dir = self.desktop.runtime_dir
        env = self.desktop.env
        env["HOME"] = self.home
        env["XDG_RUNTIME_DIR"] = self.runtime_dir
        for name, below in (("XDG_CACHE_HOME", ".cache"), ("XDG_CONFIG_HOME", ".config"),
                            ("XDG_DATA_HOME", ".local/share"), ("XDG_STATE_HOME", ".local/state")):
            env[name] = os.path.join(self.home, below)
        # Every debug message of the program and of Qt is let through, so a
        # logged password would show on the streams.
        env["QT_LOGGING_RULES"] = "*.debug=true"
        self.stdout_path = os.path.join(folder, "stdout.txt")
        self.stderr_path = os.path.join(folder, "stderr.txt")

    def start(self):
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            process = subprocess.Popen(
                [self.desktop.executable], env=self.desktop.env, cwd=self.home,
                stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        self.addCleanup(end_process, process)
        return process

    def test_password_reaches_only_the_clipboard(self):
        process = self.start()
        main = MainWindow(self.desktop, process)
        main.focus()
        main.generate("40")
        password = main.copy_output()
        self.assertEqual(len(password), 40, password)
        self.assertTrue(password.isalnum() and password.isascii(), password)

        close_window(self.desktop.display, main.window)
        process.wait(timeout=WAIT_TIMEOUT)
        self.assertEqual(process.returncode, 0)

        for path in (self.stdout_path, self.stderr_path):
            with open(path, "rb") as stream:
                data = stream.read()
            for needle in encodings(password):
                self.assertNotIn(needle, data, "the password is in %s" % path)

        # The lock file shows that the search looks where the program writes.
        searched = files_under(self.runtime_dir) + files_under(self.home)
        self.assertIn(os.path.join(self.runtime_dir, LOCK_FILE), searched)
        for path in searched:
            with open(path, "rb") as stream:
                data = stream.read()
            for needle in encodings(password):
                self.assertNotIn(needle, data, "the password is in %s" % path)


class LockFolderTest(unittest.TestCase):
    """Where the lock goes for each state of the runtime folder, and that a
    second copy started the same way is refused."""

    def setUp(self):
        self.desktop = Desktop(self, executable_from_environment())
        self.home = os.path.join(self.desktop.folder, "home")
        os.mkdir(self.home, 0o700)
        env = self.desktop.env
        env["HOME"] = self.home
        for name in ("XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"):
            env.pop(name, None)

    def make_folder(self, name, mode):
        path = os.path.join(self.desktop.folder, name)
        os.mkdir(path)
        os.chmod(path, mode)
        return path

    def check_lock(self, expected_folder, elsewhere):
        """Starts two copies: the first shows its window and holds its lock in
        expected_folder, which only the user may enter; the second shows the
        Error box and ends when it is answered."""
        first = self.desktop.start_quorvex()
        main = MainWindow(self.desktop, first)

        lock = os.path.join(expected_folder, LOCK_FILE)
        self.assertTrue(os.path.isfile(lock), "no lock at %s; output: %s" % (
            lock, self.desktop.program_output(first)))
        info = os.lstat(expected_folder)
        self.assertTrue(stat.S_ISDIR(info.st_mode))
        self.assertEqual(stat.S_IMODE(info.st_mode), 0o700, expected_folder)
        self.assertEqual(info.st_uid, os.geteuid(), expected_folder)
        for folder in elsewhere:
            self.assertFalse(os.path.exists(os.path.join(folder, LOCK_FILE)), folder)

        second = self.desktop.start_quorvex()
        box = self.desktop.wait_window(ERROR_TITLE, second.pid)
        self.assertEqual(self.desktop.windows(MAIN_TITLE, second.pid), [])
        self.desktop.focus(box)
        self.desktop.key("Return")
        second.wait(timeout=WAIT_TIMEOUT)
        self.assertEqual(second.returncode, 0)

        # The first copy is untouched.
        self.assertIsNone(first.poll())
        self.assertEqual(self.desktop.windows(MAIN_TITLE, first.pid), [main.window])

    def test_private_runtime_folder_holds_the_lock(self):
        runtime = self.make_folder("runtime-private", 0o700)
        self.desktop.env["XDG_RUNTIME_DIR"] = runtime
        self.check_lock(runtime, [os.path.join(self.home, ".cache", "quorvex")])

    def test_no_runtime_folder_uses_the_home_cache(self):
        self.check_lock(os.path.join(self.home, ".cache", "quorvex"), [])

    def test_runtime_folder_open_to_others_uses_the_cache_folder(self):
        runtime = self.make_folder("runtime-open", 0o755)
        cache = self.make_folder("cache", 0o755)
        self.desktop.env["XDG_RUNTIME_DIR"] = runtime
        self.desktop.env["XDG_CACHE_HOME"] = cache
        self.check_lock(os.path.join(cache, "quorvex"),
                        [runtime, os.path.join(self.home, ".cache", "quorvex")])

    def test_runtime_folder_of_another_user_uses_the_home_cache(self):
        if os.geteuid() != 0:
            self.skipTest("only root can give a folder to another user")
        runtime = self.make_folder("runtime-other", 0o700)
        nobody = pwd.getpwnam("nobody")
        os.chown(runtime, nobody.pw_uid, nobody.pw_gid)
        self.desktop.env["XDG_RUNTIME_DIR"] = runtime
        self.check_lock(os.path.join(self.home, ".cache", "quorvex"), [runtime])


if __name__ == "__main__":
    unittest.main(verbosity=2)

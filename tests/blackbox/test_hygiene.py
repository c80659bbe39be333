"""Black-box tests of what the built Quorvex leaves behind.

The password leaves the program only through the clipboard, and the
single-instance lock lives in a folder that only the user can enter.
"""

import os
import pwd
import socket
import stat
import struct
import unittest

from desktop import ERROR_TITLE, MAIN_TITLE, TIMEOUT, QuorvexTest

LOCK_FILE = "quorvex.lock"


def close_window(display, window):
    """Sends a window WM_DELETE_WINDOW, as a window manager's close box does."""
    with socket.socket(socket.AF_UNIX) as connection:
        connection.settimeout(TIMEOUT)
        connection.connect("/tmp/.X11-unix/X%s" % display.lstrip(":").split(".")[0])

        def receive(size):
            data = b""
            while len(data) < size:
                chunk = connection.recv(size - len(data))
                if not chunk:
                    raise AssertionError("the X server closed the connection")
                data += chunk
            return data

        # Set-up: little-endian, protocol 11.0, no authorisation.
        connection.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
        head = receive(8)
        extra = receive(struct.unpack("<H", head[6:8])[0] * 4)
        if head[0] != 1:
            raise AssertionError("the X server refused: %r" % extra)

        def intern_atom(name):
            raw = name.encode() + b"\0" * (-len(name) % 4)
            connection.sendall(struct.pack("<BBHHxx", 16, 0, 2 + len(raw) // 4, len(name)) + raw)
            while (reply := receive(32))[0] != 1:
                if reply[0] == 0:
                    raise AssertionError("X error %d interning %s" % (reply[1], name))
            return struct.unpack("<I", reply[8:12])[0]

        protocols, delete = intern_atom("WM_PROTOCOLS"), intern_atom("WM_DELETE_WINDOW")
        # SendEvent of a ClientMessage; an empty mask sends it to the window's client.
        event = struct.pack("<BBHII5I", 33, 32, 0, window, protocols, delete, 0, 0, 0, 0)
        connection.sendall(struct.pack("<BBHII", 25, 0, 11, window, 0) + event)
        intern_atom("WM_PROTOCOLS")  # a round trip: the event has been handled


def files_under(*folders):
    """Every regular file below the folders, links not followed."""
    return [os.path.join(parent, name) for folder in folders
            for parent, _, names in os.walk(folder) for name in names
            if stat.S_ISREG(os.lstat(os.path.join(parent, name)).st_mode)]


class PasswordHygieneTest(QuorvexTest):
    def test_password_reaches_only_the_clipboard(self):
        main = self.start_main(verbose=True)
        main.generate("40")
        password = main.copy_output()
        self.assert_password(password, 40)
        close_window(self.desktop.display, main.window)
        self.assertEqual(main.process.wait(timeout=TIMEOUT), 0)

        searched = files_under(self.desktop.runtime_dir, self.desktop.home)
        # The lock file shows that the search looks where the program writes.
        self.assertIn(os.path.join(self.desktop.runtime_dir, LOCK_FILE), searched)
        places = dict(zip(("stdout", "stderr"), self.desktop.streams(main.process)))
        for path in searched:
            with open(path, "rb") as stream:
                places[path] = stream.read()
        for place, data in places.items():
            for codec in ("utf-8", "utf-16-le", "utf-16-be", "utf-32-le"):
                self.assertFalse(password.encode(codec) in data, "password in %s" % place)


class LockFolderTest(QuorvexTest):
    """Where the lock goes when the runtime folder is unfit, and that a
    second copy started the same way is refused."""

    def setUp(self):
        super().setUp()
        self.env = self.desktop.env
        del self.env["XDG_RUNTIME_DIR"]
        self.home_cache = os.path.join(self.desktop.home, ".cache", "quorvex")

    def make_folder(self, name, mode):
        path = os.path.join(self.desktop.folder, name)
        os.mkdir(path)
        os.chmod(path, mode)
        return path

    def check_lock(self, expected_folder, elsewhere):
        main = self.start_main()
        lock = os.path.join(expected_folder, LOCK_FILE)
        self.assertTrue(os.path.isfile(lock), "no lock at %s; output %r" % (
            lock, self.desktop.streams(main.process)))
        info = os.lstat(expected_folder)
        self.assertTrue(stat.S_ISDIR(info.st_mode))
        self.assertEqual((stat.S_IMODE(info.st_mode), info.st_uid), (0o700, os.geteuid()))
        for folder in elsewhere + [self.desktop.runtime_dir]:
            self.assertFalse(os.path.exists(os.path.join(folder, LOCK_FILE)), folder)

        second = self.desktop.start_quorvex()
        box = self.desktop.wait_window(ERROR_TITLE, second.pid)
        self.assertEqual(self.desktop.windows(MAIN_TITLE, second.pid), [])
        self.desktop.answer_box(box, ERROR_TITLE, "Return")
        self.assertEqual(second.wait(timeout=TIMEOUT), 0)
        self.assertIsNone(main.process.poll())

    def test_no_runtime_folder_uses_the_home_cache(self):
        self.check_lock(self.home_cache, [])

    def test_runtime_folder_open_to_others_uses_the_cache_folder(self):
        self.env["XDG_RUNTIME_DIR"] = self.make_folder("runtime-open", 0o755)
        self.env["XDG_CACHE_HOME"] = self.make_folder("cache", 0o755)
        self.check_lock(os.path.join(self.env["XDG_CACHE_HOME"], "quorvex"),
                        [self.env["XDG_RUNTIME_DIR"], self.home_cache])

    def test_runtime_folder_of_another_user_uses_the_home_cache(self):
        if os.geteuid() != 0:
            self.skipTest("only root can give a folder to another user")
        runtime = self.make_folder("runtime-other", 0o700)
        nobody = pwd.getpwnam("nobody")
        os.chown(runtime, nobody.pw_uid, nobody.pw_gid)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.check_lock(self.home_cache, [runtime])


if __name__ == "__main__":
    unittest.main(verbosity=2)

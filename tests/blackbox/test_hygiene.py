"""Black-box tests of what the built Quorvex leaves behind.

The password leaves the program only through the clipboard. (That the
program writes nothing into the folders its environment names is checked
with the guard, in test_guard.py.)
"""

import os
import socket
import stat
import struct
import unittest

from desktop import TIMEOUT, QuorvexTest


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
        planted = os.path.join(self.desktop.runtime_dir, "planted")
        with open(planted, "wb") as stream:
            stream.write(b"-")
        main = self.start_main(verbose=True)
        main.generate("40")
        password = main.copy_output()
        self.assert_password(password, 40)
        close_window(self.desktop.display, main.window)
        self.assertEqual(main.process.wait(timeout=TIMEOUT), 0)

        searched = files_under(self.desktop.runtime_dir, self.desktop.home)
        # A file planted before the start shows that the search finds files.
        self.assertIn(planted, searched)
        places = dict(zip(("stdout", "stderr"), self.desktop.streams(main.process)))
        for path in searched:
            with open(path, "rb") as stream:
                places[path] = stream.read()
        for place, data in places.items():
            for codec in ("utf-8", "utf-16-le", "utf-16-be", "utf-32-le"):
                self.assertFalse(password.encode(codec) in data, "password in %s" % place)


if __name__ == "__main__":
    unittest.main(verbosity=2)

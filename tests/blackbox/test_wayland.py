"""The built Quorvex as a native Wayland client, on a headless weston.

weston runs with a socket and runtime folder of its own; the program is
started with the Wayland platform and WAYLAND_DEBUG=1, and what it says to
the compositor (xdg_toplevel requests) shows its windows: weston's headless
backend takes no input, so the Error box is seen but not answered.
"""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from desktop import (CLIENT_SIZE, ERROR_TITLE, MAIN_TITLE, end_process, private_network,
                     wait_until)


class WaylandTest(unittest.TestCase):
    def setUp(self):
        self.executable = os.environ.get("QUORVEX_EXECUTABLE", "")
        if not os.access(self.executable, os.X_OK):
            raise unittest.SkipTest("QUORVEX_EXECUTABLE does not name the built program")
        if shutil.which("weston") is None:
            raise unittest.SkipTest("weston is not installed (Debian package weston)")
        self.folder = tempfile.mkdtemp(prefix="quorvex-wl-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.runtime_dir = os.path.join(self.folder, "runtime")
        self.home = os.path.join(self.folder, "home")
        for path in (self.runtime_dir, self.home):
            os.mkdir(path, 0o700)
        self.socket = "quorvex-%d" % os.getpid()
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("QT_", "WAYLAND_", "XDG_")) and key != "DISPLAY"}
        self.env = dict(env, HOME=self.home, XDG_RUNTIME_DIR=self.runtime_dir)
        # The single-instance guard belongs to the network namespace: one of
        # this test's own keeps its copies apart from other tests' copies.
        self.enter = private_network(self)
        self._started = 0

    def start_weston(self, scale=1):
        with open(os.path.join(self.folder, "weston.log"), "wb") as log:
            weston = subprocess.Popen(
                ["weston", "--backend=headless-backend.so", "--use-pixman",
                 "--socket=" + self.socket, "--idle-time=0", "--width=1024", "--height=768",
                 "--scale=%d" % scale],
                env=self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                start_new_session=True)
        self.addCleanup(end_process, weston)
        socket_path = os.path.join(self.runtime_dir, self.socket)
        wait_until(lambda: os.path.exists(socket_path) or weston.poll() is not None,
                   "weston's socket")
        if weston.poll() is not None:
            self.fail("weston ended: %s" % self.log("weston.log"))

    def log(self, name):
        with open(os.path.join(self.folder, name), "rb") as stream:
            return stream.read().decode("utf-8", "replace")

    def start(self):
        """A copy on the compositor, which must not fall back to X."""
        self._started += 1
        name = "%d.err" % self._started
        env = dict(self.env, QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY=self.socket,
                   WAYLAND_DEBUG="1")
        with open(os.path.join(self.folder, name), "wb") as err:
            process = subprocess.Popen(self.enter + [self.executable], env=env, cwd=self.home,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=err)
        self.addCleanup(end_process, process)
        return process, name

    def toplevel(self, name, title):
        """The requests of the first toplevel titled `title` in a debug log:
        {request: arguments}, the last of each, once it has been titled,
        named and committed; with its xdg_surface's set_window_geometry."""
        text = self.log(name)
        # libwayland writes an object as interface@id, from 1.23 on as
        # interface#id.
        match = re.search(r'xdg_toplevel[@#](\d+)\.set_title\("%s"\)' % re.escape(title), text)
        if match is None:
            return None
        requests = dict(re.findall(r"xdg_toplevel[@#]%s\.(\w+)\(([^)]*)\)" % match.group(1),
                                   text))
        surface = re.search(r"xdg_surface[@#](\d+)\.get_toplevel\(new id xdg_toplevel[@#]%s\)"
                            % match.group(1), text)
        if surface is not None:
            requests.update(re.findall(r"xdg_surface[@#]%s\.(set_window_geometry)\(([^)]*)\)"
                                       % surface.group(1), text))
        return requests if "set_app_id" in requests else None

    def assert_one_size(self, requests):
        """The window keeps one size: the least and the greatest size asked
        for are the same, the window's own (Qt 6.4), or, as xdg-shell
        measures them, its window geometry, which takes in the frame Qt
        draws around it (Qt 6.8)."""
        geometry = [int(n) for n in requests["set_window_geometry"].split(",")]
        width, height = geometry[2:]
        self.assertTrue(CLIENT_SIZE[0] <= width < CLIENT_SIZE[0] + 30, geometry)
        self.assertTrue(CLIENT_SIZE[1] <= height < CLIENT_SIZE[1] + 60, geometry)
        self.assertEqual(requests["set_min_size"], requests["set_max_size"])
        self.assertIn(requests["set_min_size"], ("%d, %d" % CLIENT_SIZE,
                                                 "%d, %d" % (width, height)))

    def test_native_window_app_id_and_second_copys_error_box(self):
        self.start_weston()
        first, first_log = self.start()
        main = wait_until(lambda: self.toplevel(first_log, MAIN_TITLE) or first.poll(),
                          "the main window on weston")
        self.assertIsNone(first.poll(), self.log(first_log)[-2000:])
        self.assertEqual(main["set_app_id"], '"quorvex"')  # quorvex.desktop
        # The window was drawn: a buffer went to the compositor.
        wait_until(lambda: re.search(r"wl_surface[@#]\d+\.attach\(wl_buffer[@#]",
                                     self.log(first_log)), "a drawn frame")
        self.assert_one_size(self.toplevel(first_log, MAIN_TITLE))

        second, second_log = self.start()
        box = wait_until(lambda: self.toplevel(second_log, ERROR_TITLE) or second.poll(),
                         "the second copy's Error box")
        self.assertIsNone(second.poll(), self.log(second_log)[-2000:])
        self.assertEqual(box["set_app_id"], '"quorvex"')
        self.assertIsNone(self.toplevel(second_log, MAIN_TITLE))
        self.assertIsNone(self.toplevel(first_log, ERROR_TITLE))
        self.assertIsNone(first.poll())

    def test_output_at_scale_2_gets_buffers_of_its_pixels(self):
        self.start_weston(scale=2)
        first, first_log = self.start()
        wait_until(lambda: self.toplevel(first_log, MAIN_TITLE) or first.poll(),
                   "the main window on weston")
        self.assertIsNone(first.poll(), self.log(first_log)[-2000:])
        # The same window in logical pixels, drawn at two device pixels each.
        wait_until(lambda: re.search(r"wl_surface[@#]\d+\.set_buffer_scale\(2\)",
                                     self.log(first_log)), "a buffer scale of 2")
        # Buffers of device pixels: the window, and Qt's own frame around it
        # (weston leaves decorations to the client), twice over.
        def buffer_size():
            sizes = re.findall(r"create_buffer\(new id wl_buffer[@#]\d+, \d+, (\d+), (\d+),",
                               self.log(first_log))
            # The largest: a cursor's buffers are small.
            return sizes and max((int(w), int(h)) for w, h in sizes)
        width, height = wait_until(buffer_size, "a buffer")
        self.assert_one_size(self.toplevel(first_log, MAIN_TITLE))
        self.assertTrue(2 * CLIENT_SIZE[0] <= width < 2 * CLIENT_SIZE[0] + 60, width)
        self.assertTrue(2 * CLIENT_SIZE[1] <= height < 2 * CLIENT_SIZE[1] + 120, height)

if __name__ == "__main__":
    unittest.main()

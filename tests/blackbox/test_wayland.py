"""The built Quorvex as a native Wayland client on headless compositors:
weston and GNOME's mutter, which leave title bars to their clients, and
sway, which draws them.

Each compositor runs with a socket and runtime folder of its own; the program
is started with the Wayland platform and WAYLAND_DEBUG=1, and what it says to
the compositor (xdg_toplevel requests) shows its windows: the headless
backends take no input, so the Error box is seen but not answered; weston in
a window on an X screen takes the pointer that xdotool moves there.
"""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from desktop import (CLIENT_SIZE, ERROR_TITLE, MAIN_TITLE, Desktop, end_process,
                     end_process_group, private_network, wait_until)


class WaylandTest(unittest.TestCase):
    def setUp(self):
        self.executable = os.environ.get("QUORVEX_EXECUTABLE", "")
        if not os.access(self.executable, os.X_OK):
            raise unittest.SkipTest("QUORVEX_EXECUTABLE does not name the built program")
        self.folder = tempfile.mkdtemp(prefix="quorvex-wl-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.runtime_dir = os.path.join(self.folder, "runtime")
        self.home = os.path.join(self.folder, "home")
        for path in (self.runtime_dir, self.home):
            os.mkdir(path, 0o700)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("QT_", "WAYLAND_", "XDG_")) and key != "DISPLAY"}
        self.env = dict(env, HOME=self.home, XDG_RUNTIME_DIR=self.runtime_dir)
        # The single-instance guard belongs to the network namespace: one of
        # this test's own keeps its copies apart from other tests' copies.
        self.enter = private_network(self)
        self._started = 0

    def start_compositor(self, name, scale=1, display=None):
        """weston, sway or GNOME's mutter on no screen, drawing in memory;
        or weston in a window on the X screen `display`, taking its input,
        with its kiosk shell, which centres a window of fixed size."""
        if shutil.which(name) is None:
            raise unittest.SkipTest("%s is not installed (Debian package %s)" % (name, name))
        # Outside the test's own folder, which another user cannot enter.
        runtime = tempfile.mkdtemp(prefix="quorvex-%s-" % name)
        self.addCleanup(shutil.rmtree, runtime, True)
        command = {"weston": ["weston", "--backend=headless-backend.so", "--use-pixman",
                              "--idle-time=0", "--width=1024", "--height=768",
                              "--scale=%d" % scale] if display is None else
                             ["weston", "--backend=x11-backend.so", "--use-pixman",
                              "--shell=kiosk-shell.so", "--idle-time=0", "--width=1024",
                              "--height=768"],
                   "sway": ["sway", "-c", os.devnull],
                   "mutter": ["dbus-run-session", "--", "mutter", "--wayland", "--headless",
                              "--no-x11", "--virtual-monitor", "1024x768"]}[name]
        if name == "sway" and os.getuid() == 0:  # sway will not run as root
            os.chown(runtime, 65534, 65534)
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
        env = dict(self.env, HOME=runtime, XDG_RUNTIME_DIR=runtime, WLR_BACKENDS="headless",
                   WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
        if display is not None:
            env["DISPLAY"] = display
        with open(os.path.join(self.folder, name + ".log"), "wb") as log:
            compositor = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                          stdout=log, stderr=log, start_new_session=True)
        # dbus-run-session leaves mutter and its bus running when it ends:
        # the whole session goes.
        self.addCleanup(end_process_group, compositor)
        sockets = lambda: [socket for socket in os.listdir(runtime)
                           if socket.startswith("wayland-") and not socket.endswith(".lock")]
        wait_until(lambda: sockets() or compositor.poll() is not None, name + "'s socket")
        if compositor.poll() is not None:
            self.fail("%s ended: %s" % (name, self.log(name + ".log")))
        self.socket = os.path.join(runtime, sockets()[0])

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

    def sizes(self, name, title, scale=1):
        """The window geometry, least and greatest size of the first toplevel
        titled `title` in a debug log of one copy, and the largest buffer the
        copy drew (a cursor's are small), in logical pixels; None until all
        are there."""
        requests = self.toplevel(name, title) or {}
        buffers = re.findall(r"create_buffer\(new id wl_buffer[@#]\d+, \d+, (\d+), (\d+),",
                             self.log(name))
        return "set_window_geometry" in requests and buffers and (
            requests["set_window_geometry"].split(", ")[2:], requests.get("set_min_size"),
            requests.get("set_max_size"),
            max((int(w) // scale, int(h) // scale) for w, h in buffers))

    def assert_title_bar(self, name, own, scale=1):
        """The main window keeps one size and has one title bar, which offers
        no maximize: the compositor's, outside the surface, or the program's
        own, an outline and a bar round the inner area. Qt's, which offers
        maximize, is wider and lies outside the window geometry."""
        (width, height), least, greatest, drawn = wait_until(
            lambda: self.sizes(name, MAIN_TITLE, scale), "the window drawn")
        self.assertEqual((least, greatest, drawn), ("%s, %s" % (width, height),) * 2
                         + ((int(width), int(height)),))
        self.assertEqual(int(width), CLIENT_SIZE[0] + (2 if own else 0), drawn)
        self.assertTrue(15 < int(height) - CLIENT_SIZE[1] < 60 if own else
                        int(height) == CLIENT_SIZE[1], drawn)

    def test_native_window_app_id_and_second_copys_error_box(self):
        self.start_compositor("weston")
        first, first_log = self.start()
        main = wait_until(lambda: self.toplevel(first_log, MAIN_TITLE) or first.poll(),
                          "the main window on weston")
        self.assertIsNone(first.poll(), self.log(first_log)[-2000:])
        self.assertEqual(main["set_app_id"], '"quorvex"')  # quorvex.desktop
        # The window was drawn: a buffer went to the compositor.
        wait_until(lambda: re.search(r"wl_surface[@#]\d+\.attach\(wl_buffer[@#]",
                                     self.log(first_log)), "a drawn frame")
        # weston leaves title bars to the program.
        self.assert_title_bar(first_log, own=True)

        second, second_log = self.start()
        box = wait_until(lambda: self.toplevel(second_log, ERROR_TITLE) or second.poll(),
                         "the second copy's Error box")
        self.assertIsNone(second.poll(), self.log(second_log)[-2000:])
        self.assertEqual(box["set_app_id"], '"quorvex"')
        # The box carries the program's title bar too: the bar is part of
        # the one size the box keeps, and all the box draws lies within it.
        # Qt's bar would lie outside that size.
        (width, height), least, greatest, drawn = wait_until(
            lambda: self.sizes(second_log, ERROR_TITLE), "the Error box drawn")
        self.assertEqual((least, greatest, drawn),
                         ("%s, %s" % (width, height),) * 2 + ((int(width), int(height)),))
        self.assertIsNone(self.toplevel(second_log, MAIN_TITLE))
        self.assertIsNone(self.toplevel(first_log, ERROR_TITLE))
        self.assertIsNone(first.poll())

    def test_output_at_scale_2_gets_buffers_of_its_pixels(self):
        self.start_compositor("weston", scale=2)
        first, first_log = self.start()
        wait_until(lambda: self.toplevel(first_log, MAIN_TITLE) or first.poll(),
                   "the main window on weston")
        self.assertIsNone(first.poll(), self.log(first_log)[-2000:])
        # The same window in logical pixels, drawn at two device pixels each.
        wait_until(lambda: re.search(r"wl_surface[@#]\d+\.set_buffer_scale\(2\)",
                                     self.log(first_log)), "a buffer scale of 2")
        self.assert_title_bar(first_log, own=True, scale=2)

    def test_title_bar_moves_the_window_with_the_left_button(self):
        desktop = Desktop(self, self.executable)
        self.start_compositor("weston", display=desktop.display)
        output = wait_until(lambda: desktop.run("xdotool", "search", "--onlyvisible", "--class",
                                                "Weston", check=False).stdout.split(),
                            "weston's window")[0]
        first, first_log = self.start()
        (width, height), *_ = wait_until(lambda: self.sizes(first_log, MAIN_TITLE),
                                         "the window drawn")
        left, top = desktop.geometry(output)[:2]
        # On the bar, left of the title, which the kiosk shell centres.
        x = left + (1024 - int(width)) // 2 + 30
        y = top + (768 - int(height)) // 2 + 8
        # weston may take the pointer's move before the window is on its
        # output and not tell the window when it arrives under the pointer:
        # the pointer moves again until the program is told where it is.
        at_bar = re.compile(r"wl_pointer[@#]\d+\.(?:enter\(\d+, wl_surface[@#]\d+, |motion\(\d+, )"
                            r"30\.0+, 8\.0+\)")

        def pointer_on_bar():
            if at_bar.search(self.log(first_log)):
                return True
            desktop.xdotool("mousemove", str(x + 1), str(y))
            desktop.xdotool("mousemove", str(x), str(y))
            return False

        wait_until(pointer_on_bar, "the pointer on the title bar")
        for button, moves in ((3, False), (1, True)):
            with self.subTest(button=button):
                desktop.xdotool("mousedown", str(button))
                # What the program was told: the press reached it on the bar.
                code = {1: 272, 3: 273}[button]  # BTN_LEFT, BTN_RIGHT
                wait_until(lambda: re.search(r"wl_pointer[@#]\d+\.button\(\d+, \d+, %d, 1\)"
                                             % code, self.log(first_log)), "the press")
                desktop.xdotool("mouseup", str(button))
                wait_until(lambda: re.search(r"wl_pointer[@#]\d+\.button\(\d+, \d+, %d, 0\)"
                                             % code, self.log(first_log)), "the release")
                self.assertEqual(bool(re.search(r"xdg_toplevel[@#]\d+\.move\(",
                                                self.log(first_log))), moves)

    def test_title_bar_of_sway_and_of_the_program_on_gnome(self):
        for name, own in (("sway", False), ("mutter", True)):
            with self.subTest(compositor=name):
                self.start_compositor(name)
                first, first_log = self.start()
                wait_until(lambda: self.toplevel(first_log, MAIN_TITLE) or first.poll(),
                           "the main window on " + name)
                self.assertIsNone(first.poll(), self.log(first_log)[-2000:])
                # sway was asked for its title bar and gave it: server side.
                if not own:
                    wait_until(lambda: re.search(
                        r"zxdg_toplevel_decoration_v1[@#]\d+\.configure\(2\)",
                        self.log(first_log)), "sway's title bar")
                self.assert_title_bar(first_log, own)
                end_process(first)  # one copy at a time


if __name__ == "__main__":
    unittest.main()

"""Where the window appears under the window managers people run, each on a
screen of its own. The X server's RECORD extension hands the test every
window event it delivers to any client from before the program starts, so a
frame shown in one place and moved later is caught however quickly it moves.
"""

import importlib.util
import os
import signal
import struct
import sys
import threading
import time
import unittest

SYSTEM_PYTHON = "/usr/bin/python3"  # the interpreter with Debian's python3-xlib
if importlib.util.find_spec("Xlib") is None and sys.executable != SYSTEM_PYTHON:
    os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, "-B", os.path.abspath(__file__), *sys.argv[1:]])

from Xlib import X, Xatom, display as xdisplay  # noqa: E402
from Xlib.ext import record  # noqa: E402
from Xlib.protocol import rq  # noqa: E402

from desktop import (ERROR_TITLE, MAIN_TITLE, SCREEN, WINDOW_MANAGERS, Desktop,  # noqa: E402
                     TIMEOUT, QuorvexTest, wait_until)

CHANGE_PROPERTY = 18  # the core request's major opcode


class WindowPlacementTest(QuorvexTest):
    def test_frame_centred_on_the_work_area_from_the_start_and_left_alone(self):
        # A manager still busy as the program starts answers its question
        # after the program has stopped waiting; mutter's answer then is no
        # frame at all, where the one it gives once it manages a window is.
        # At 200 % the frame a manager tells of is in the screen's pixels.
        # A desktop that only announces itself and its work areas shows
        # which desktop's area counts: the current one's.
        cases = [(None, False, 1), *((name, False, 1) for name in WINDOW_MANAGERS),
                 ("mutter", True, 1), ("openbox", False, 2), (ANNOUNCER, False, 1)]
        for name, busy, scale in cases:
            with self.subTest(manager=name, busy=busy, scale=scale):
                try:
                    self.check_manager(name, busy, scale)
                finally:
                    self.doCleanups()  # one screen at a time

    def check_manager(self, name, busy, scale):
        desktop = self.desktop if name is None else Desktop(self, self.desktop.executable)
        x = xdisplay.Display(desktop.display)
        self.addCleanup(x.close)
        root = x.screen().root
        if name == ANNOUNCER:
            announce_desktops(x, root)
        elif name is not None:
            manager = desktop.start_window_manager(name)
        # Every frame's changes reach the test, with or without a manager.
        root.change_attributes(event_mask=X.SubstructureNotifyMask)
        x.sync()
        client_list = x.intern_atom("_NET_CLIENT_LIST")
        clients = root.get_full_property(client_list, X.AnyPropertyType)
        clients_before = set(clients.value) if clients else set()
        events, listed = self.record_window_events(x, desktop.display, client_list)
        if busy:
            os.killpg(manager.pid, signal.SIGSTOP)
            self.addCleanup(os.killpg, manager.pid, signal.SIGCONT)
        process = desktop.start_quorvex(env=dict(desktop.env, QT_SCALE_FACTOR=str(scale)))
        if busy:
            time.sleep(0.3)
            os.killpg(manager.pid, signal.SIGCONT)
        window = desktop.wait_window(MAIN_TITLE, process.pid)
        inner = desktop.geometry(window)[2:]

        def history():
            """The frame's rectangle when the window first showed, and each
            later one. The window shows once it and its frame are mapped and
            the frame has grown to hold it: a compositing manager may map a
            frame at a size of its own (mutter the window's, kwin 1x1) and
            give it its real one before it paints anything."""
            while x.pending_events():
                x.next_event()
            frame = x.create_resource_object("window", window)
            while (parent := frame.query_tree().parent).id != root.id:
                frame = parent
            rect, mapped, shown, changes = None, set(), None, []
            for event in list(events):
                if event.type == X.MapNotify:
                    mapped.add(event.window.id)
                elif event.type == X.UnmapNotify:
                    mapped.discard(event.window.id)
                elif event.type in (X.CreateNotify, X.ConfigureNotify) and \
                        event.window.id == frame.id:
                    border = 2 * event.border_width
                    rect = (event.x, event.y, event.width + border, event.height + border)
                if shown is None and {window, frame.id} <= mapped and rect and \
                        rect[2] >= inner[0] and rect[3] >= inner[1]:
                    shown = rect
                elif shown and rect != (changes or [shown])[-1]:
                    changes.append(rect)
            return shown, changes

        time.sleep(1)  # time for a late move
        shown, changes = history()
        work_area = root.get_full_property(x.intern_atom("_NET_WORKAREA"), X.AnyPropertyType)
        current = root.get_full_property(x.intern_atom("_NET_CURRENT_DESKTOP"), X.AnyPropertyType)
        first = 4 * current.value[0] if current else 0
        area = tuple(work_area.value[first:first + 4]) if work_area else (0, 0, *SCREEN)
        # What the user sees of the frame is the window with the borders the
        # manager says it drew, where it says so: a frame window may reach
        # beyond them with invisible borders for shadows and resize handles
        # (metacity's does when it composites). i3 says nothing of a window
        # it manages, and draws its whole frame window.
        seen = shown
        extents = x.create_resource_object("window", window).get_full_property(
            x.intern_atom("_NET_FRAME_EXTENTS"), X.AnyPropertyType)
        if extents:
            left, right, top, bottom = extents.value
            inner_left, inner_top = desktop.geometry(window)[:2]
            seen = (inner_left - left, inner_top - top, inner[0] + left + right,
                    inner[1] + top + bottom)
        line = "%s%s: frame shown at %r, then %r; seen at %r; work area %r" % (
            "busy " if busy else "", name, shown, changes, seen, area)
        print(line)
        # The window is the one client of the program the manager ever
        # lists, so the only one a task bar shows.
        self.assertEqual(listed - clients_before, set() if name in (None, ANNOUNCER) else {window})
        self.assertIsNotNone(shown, line)
        self.assertEqual(changes, [], line)
        for axis in (0, 1):
            self.assertLessEqual(
                abs(seen[axis] + seen[axis + 2] / 2 - area[axis] - area[axis + 2] / 2), 1, line)

        # Moved by hand, it stays there, also once it has been covered and
        # drawn again.
        desktop.xdotool("windowmove", str(window), str(area[0] + 40), str(area[1] + 30))
        moved = wait_until(lambda: history()[1], "the frame to move")[-1]
        cover = root.create_window(*moved, 0, X.CopyFromParent, override_redirect=True)
        cover.map()
        x.sync()
        time.sleep(0.2)
        cover.destroy()
        x.sync()
        time.sleep(0.5)
        self.assertEqual(history()[1][-1], moved)

        # The second copy's box carries the program's icon.
        second = desktop.start_quorvex()
        box = desktop.wait_window(ERROR_TITLE, second.pid)
        icon = desktop.run("xprop", "-id", str(box), "-notype", "32c", "_NET_WM_ICON").stdout
        self.assertRegex(icon, r"_NET_WM_ICON = \d+, \d+, \d+", "no icon on the Error box")
        desktop.answer_box(box, ERROR_TITLE, "Return")

    def record_window_events(self, x, display_name, client_list):
        """Starts recording the window events the X server delivers to any
        client, and the windows any client puts in the root's client list;
        returns the list the events are added to, in the server's order, and
        the set of windows listed, until the test ends."""
        recorder = xdisplay.Display(display_name)
        context = recorder.record_create_context(0, [record.AllClients], [{
            "core_requests": (CHANGE_PROPERTY, CHANGE_PROPERTY), "core_replies": (0, 0),
            "ext_requests": (0, 0, 0, 0), "ext_replies": (0, 0, 0, 0),
            "delivered_events": (X.CreateNotify, X.ConfigureNotify),
            "device_events": (0, 0), "errors": (0, 0),
            "client_started": False, "client_died": False}])
        events, listed, started = [], set(), threading.Event()
        root = x.screen().root.id

        def take(reply):
            if reply.category == record.StartOfData:
                started.set()
            elif reply.category == record.FromClient and len(reply.data) >= 24:
                # ChangeProperty: window, property, type, format, count, values.
                _, window, prop, _, form, count = struct.unpack("=4sIII B3xI", reply.data[:24])
                if window == root and prop == client_list and form == 32:
                    listed.update(struct.unpack("=%dI" % count, reply.data[24:24 + 4 * count]))
            elif reply.category == record.FromServer and not reply.client_swapped:
                data = reply.data
                while len(data) >= 32:
                    event, data = rq.EventField(None).parse_binary_value(
                        data, recorder.display, None, None)
                    events.append(event)
        thread = threading.Thread(target=recorder.record_enable_context, args=(context, take))
        thread.start()

        def stop():
            x.record_disable_context(context)
            x.sync()
            thread.join(TIMEOUT)
            recorder.record_free_context(context)
            recorder.close()
        self.addCleanup(stop)
        wait_until(started.is_set, "the X server to record")
        return events, listed


# A desktop with no window manager that announces itself as EWMH managers do,
# with two desktops of different work areas, the second one current.
ANNOUNCER = "announcer"
SECOND_WORK_AREA = (100, 50, 600, 500)


def announce_desktops(x, root):
    check = root.create_window(-1, -1, 1, 1, 0, X.CopyFromParent, override_redirect=True)
    atom = x.intern_atom
    for window in (root, check):
        window.change_property(atom("_NET_SUPPORTING_WM_CHECK"), Xatom.WINDOW, 32, [check.id])
    check.change_property(atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, b"Announcer")
    root.change_property(atom("_NET_NUMBER_OF_DESKTOPS"), Xatom.CARDINAL, 32, [2])
    root.change_property(atom("_NET_CURRENT_DESKTOP"), Xatom.CARDINAL, 32, [1])
    root.change_property(atom("_NET_WORKAREA"), Xatom.CARDINAL, 32,
                         [0, 0, *SCREEN, *SECOND_WORK_AREA])
    x.sync()


if __name__ == "__main__":
    unittest.main()

"""The window's place under the window managers people run, each on a screen
of its own: where its frame is first shown, and that nothing moves it later.

A recorder watches the screen's top-level windows from before the program
starts (X events: created, reparented, configured, mapped), so a frame shown
in one place and then moved is caught however quickly it moves.
"""

import importlib.util
import os
import sys
import time
import unittest

# python3-xlib is Debian's: the system's interpreter has it.
SYSTEM_PYTHON = "/usr/bin/python3"
if (__name__ == "__main__" and importlib.util.find_spec("Xlib") is None
        and os.access(SYSTEM_PYTHON, os.X_OK) and sys.executable != SYSTEM_PYTHON):
    os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, "-B", os.path.abspath(__file__)] + sys.argv[1:])

from desktop import (ERROR_TITLE, MAIN_TITLE, WINDOW_MANAGERS, Desktop, QuorvexTest,  # noqa: E402
                     wait_until)

try:
    from Xlib import X, Xatom, display as xdisplay
except ImportError:  # python3-xlib
    X = None


# _MOTIF_WM_HINTS: flags, functions, decorations, ...
MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 8, 16, 32
MWM_DECOR_MAXIMIZE = 64


class Recorder:
    """Keeps every change of the screen's top-level windows, in order."""

    def __init__(self, display_name):
        self.display = xdisplay.Display(display_name)
        self.root = self.display.screen().root
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.display.sync()
        self.events = []  # (kind, window id, x, y, width, height)

    def close(self):
        self.display.close()

    def drain(self):
        while self.display.pending_events():
            event = self.display.next_event()
            kind = {X.CreateNotify: "create", X.ConfigureNotify: "configure",
                    X.MapNotify: "map", X.ReparentNotify: "reparent"}.get(event.type)
            if kind in ("create", "configure"):
                border = 2 * event.border_width
                self.events.append((kind, event.window.id, event.x, event.y,
                                    event.width + border, event.height + border))
            elif kind == "map":
                self.events.append((kind, event.window.id, None, None, None, None))
            elif kind == "reparent" and event.parent.id == self.root.id:
                self.events.append(("create", event.window.id, event.x, event.y, None, None))

    def frame_of(self, window):
        """The top-level window that holds `window`: the manager's frame."""
        window = self.display.create_resource_object("window", window)
        while (parent := window.query_tree().parent).id != self.root.id:
            window = parent
        return window.id

    def history(self, frame):
        """(rectangle when first mapped, [each later change of it])."""
        self.drain()
        rect, shown, moves = None, None, []
        for kind, window, x, y, width, height in self.events:
            if window != frame:
                continue
            if kind == "map" and shown is None:
                shown = rect
            elif kind in ("create", "configure"):
                rect = (x, y, width or rect[2], height or rect[3])
                if shown is not None and rect != (moves[-1] if moves else shown):
                    moves.append(rect)
        return shown, moves

    def property(self, window, name):
        """The values of a window's property."""
        window = self.display.create_resource_object("window", window)
        value = window.get_full_property(self.display.intern_atom(name), X.AnyPropertyType)
        return list(value.value) if value is not None else []

    def work_area(self):
        value = self.root.get_full_property(self.display.intern_atom("_NET_WORKAREA"),
                                            Xatom.CARDINAL)
        if value is None:
            geometry = self.root.get_geometry()
            return (0, 0, geometry.width, geometry.height)
        return tuple(value.value[:4])

    def cover(self, rect):
        """Lays a window over rect and takes it away: what lay under it is
        exposed again, as when another program's window is closed."""
        cover = self.root.create_window(*rect[:2], rect[2], rect[3], 0, X.CopyFromParent,
                                        override_redirect=True)
        cover.map()
        self.display.sync()
        time.sleep(0.2)
        cover.destroy()
        self.display.sync()


@unittest.skipIf(X is None, "python3-xlib is not installed")
class WindowPlacementTest(QuorvexTest):
    def test_frame_centred_on_the_work_area_from_the_start_and_left_alone(self):
        report = []
        for name in [None, *WINDOW_MANAGERS]:
            with self.subTest(manager=name or "none"):
                try:
                    report.append(self.check_manager(name))
                finally:
                    self.doCleanups()
        print("\n" + "\n".join(report))

    def check_manager(self, name):
        desktop = self.desktop if name is None else Desktop(self, self.desktop.executable)
        if name is not None:
            desktop.start_window_manager(name)
        recorder = Recorder(desktop.display)
        self.addCleanup(recorder.close)
        process = desktop.start_quorvex()
        window = desktop.wait_window(MAIN_TITLE, process.pid)
        time.sleep(1)  # time for any late move
        frame = recorder.frame_of(window)
        shown, moves = recorder.history(frame)
        line = "%s: frame shown at %r, then moved to %r" % (name or "no manager", shown, moves)
        self.assertIsNotNone(shown, line)
        area = recorder.work_area()
        off = (shown[0] + shown[2] / 2 - (area[0] + area[2] / 2),
               shown[1] + shown[3] / 2 - (area[1] + area[3] / 2))
        line += "; off the work area's %r centre by %r" % (area, off)
        self.assertLessEqual(max(map(abs, off)), 1, line)
        self.assertEqual(moves, [], line)

        # Its frame offers minimize and close, and neither maximize nor resize.
        hints = recorder.property(window, "_MOTIF_WM_HINTS")
        self.assertEqual(hints[1] & (MWM_FUNC_MINIMIZE | MWM_FUNC_CLOSE | MWM_FUNC_MAXIMIZE),
                         MWM_FUNC_MINIMIZE | MWM_FUNC_CLOSE, hints)
        self.assertEqual(hints[2] & MWM_DECOR_MAXIMIZE, 0, hints)

        # Moved by hand, it stays there, also when it is drawn again.
        target = (area[0] + 40, area[1] + 30)
        desktop.xdotool("windowmove", str(window), *map(str, target))
        wait_until(lambda: recorder.history(frame)[1], "the frame to move")
        time.sleep(0.3)
        moved = recorder.history(frame)[1][-1]
        recorder.cover(moved)
        time.sleep(0.5)
        self.assertEqual(recorder.history(frame)[1][-1], moved, "put back after an expose")

        # The second copy's box carries the program's icon.
        second = desktop.start_quorvex()
        box = desktop.wait_window(ERROR_TITLE, second.pid)
        icon = desktop.run("xprop", "-id", str(box), "_NET_WM_ICON").stdout
        self.assertIn("=", icon, "no icon on the Error box")
        desktop.answer_box(box, ERROR_TITLE, "Return")
        return line


if __name__ == "__main__":
    unittest.main()

"""Where the window appears under the window managers people run, each on a
screen of its own. The screen's top-level windows are recorded from X events
from before the program starts, so a frame shown in one place and moved
later is caught however quickly it moves.
"""

import importlib.util
import os
import sys
import time
import unittest

SYSTEM_PYTHON = "/usr/bin/python3"  # the interpreter with Debian's python3-xlib
if importlib.util.find_spec("Xlib") is None and sys.executable != SYSTEM_PYTHON:
    os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, "-B", os.path.abspath(__file__), *sys.argv[1:]])

from Xlib import X, display as xdisplay  # noqa: E402

from desktop import (ERROR_TITLE, MAIN_TITLE, SCREEN, WINDOW_MANAGERS, Desktop,  # noqa: E402
                     QuorvexTest, wait_until)


class WindowPlacementTest(QuorvexTest):
    def test_frame_centred_on_the_work_area_from_the_start_and_left_alone(self):
        for name in [None, *WINDOW_MANAGERS]:
            with self.subTest(manager=name):
                try:
                    self.check_manager(name)
                finally:
                    self.doCleanups()  # one screen at a time

    def check_manager(self, name):
        desktop = self.desktop if name is None else Desktop(self, self.desktop.executable)
        if name is not None:
            desktop.start_window_manager(name)
        x = xdisplay.Display(desktop.display)
        self.addCleanup(x.close)
        root = x.screen().root
        root.change_attributes(event_mask=X.SubstructureNotifyMask)
        x.sync()
        events = []
        window = desktop.wait_window(MAIN_TITLE, desktop.start_quorvex().pid)

        def history():
            """The frame's rectangle when first mapped, and each later one."""
            while x.pending_events():
                events.append(x.next_event())
            frame = x.create_resource_object("window", window)
            while (parent := frame.query_tree().parent).id != root.id:
                frame = parent
            rect, shown, changes = None, None, []
            for event in (e for e in events if e.window.id == frame.id):
                if event.type == X.MapNotify:
                    shown = shown or rect
                elif event.type in (X.CreateNotify, X.ConfigureNotify):
                    border = 2 * event.border_width
                    rect = (event.x, event.y, event.width + border, event.height + border)
                    if shown and rect != (changes or [shown])[-1]:
                        changes.append(rect)
            return shown, changes

        time.sleep(1)  # time for a late move
        shown, changes = history()
        work_area = root.get_full_property(x.intern_atom("_NET_WORKAREA"), X.AnyPropertyType)
        area = tuple(work_area.value[:4]) if work_area else (0, 0, *SCREEN)
        line = "%s: frame shown at %r, then %r; work area %r" % (name, shown, changes, area)
        print(line)
        self.assertIsNotNone(shown, line)
        self.assertEqual(changes, [], line)
        for axis in (0, 1):
            self.assertLessEqual(
                abs(shown[axis] + shown[axis + 2] / 2 - area[axis] - area[axis + 2] / 2), 1, line)

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


if __name__ == "__main__":
    unittest.main()

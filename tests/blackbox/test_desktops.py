"""The built Quorvex on desktops other than a bare US-keyboard X screen:
non-Latin and Dvorak keyboard layouts, a command line full of Qt options,
and what selecting and dragging the password give away to other programs.
(Window managers: test_window_managers.py.)
"""

import unittest

from desktop import (CLIENT_SIZE, LENGTH_BOX, OUTPUT_BOX, SCREEN, QuorvexTest, centre,
                     end_process)

# xkb keycodes of physical keys (US names): a real keyboard sends these
# whatever the layout, so the tests press keys by keycode.
KEY_A, KEY_C = "38", "54"


class KeyboardLayoutTest(QuorvexTest):
    # Per layout: how to select all and copy with the physical keys.
    LAYOUTS = (
        (("-layout", "ru"), "ctrl+" + KEY_A, "ctrl+" + KEY_C),   # Russian alone
        (("-layout", "gr"), "ctrl+" + KEY_A, "ctrl+" + KEY_C),   # Greek alone
        (("-layout", "il"), "ctrl+" + KEY_A, "ctrl+" + KEY_C),   # Hebrew alone
        (("-layout", "ru,us"), "ctrl+" + KEY_A, "ctrl+" + KEY_C),  # Russian beside US
        # Dvorak: the key that types "c" is the US I key; xdotool finds it.
        (("-layout", "us", "-variant", "dvorak"), "ctrl+a", "ctrl+c"),
    )

    def test_select_all_and_copy_on_each_layout(self):
        for layout, select_all, copy in self.LAYOUTS:
            with self.subTest(layout=" ".join(layout)):
                self.desktop.set_layout(*layout)
                main = self.start_main()
                try:
                    main.click(*centre(LENGTH_BOX))
                    self.desktop.type("12")
                    main.press_generate()
                    marker = self.desktop.new_sentinel()
                    main.click_output()
                    self.desktop.key(select_all, copy)
                    password = self.desktop.changed_selection(marker, timeout=5)
                    self.assert_password(password, 12)
                finally:
                    end_process(main.process)  # one copy at a time


class CommandLineTest(QuorvexTest):
    def test_qt_options_on_the_command_line_change_nothing(self):
        args = ["-reverse", "-qwindowtitle", "Hacked", "-qwindowgeometry", "459x274+0+0",
                "-platform", "offscreen", "-style", "windows", "--help", "-session", "x"]
        main = self.start_main(args=args)
        self.assertEqual(self.desktop.windows("Hacked"), [])
        x, y, width, height = self.desktop.geometry(main.window)
        self.assertEqual((width, height), CLIENT_SIZE)
        self.assertLessEqual(abs(x + width / 2 - SCREEN[0] / 2), 3, (x, y))
        self.assertLessEqual(abs(y + height / 2 - SCREEN[1] / 2), 3, (x, y))
        # Not mirrored: the first option button is still at the left.
        main.generate("40", option=1)
        self.assert_password(main.copy_output(), 40, option=1)
        self.assertEqual(self.desktop.streams(main.process), [b"", b""])

    def test_qt_environment_still_applies(self):
        main = self.start_main(env=dict(self.desktop.env, QT_SCALE_FACTOR="2"))
        self.assertEqual(self.desktop.geometry(main.window)[2:],
                         (CLIENT_SIZE[0] * 2, CLIENT_SIZE[1] * 2))


class SelectionTest(QuorvexTest):
    """Only Ctrl+C gives the password to other programs."""

    def generated(self, length, option=2):
        main = self.start_main()
        main.generate(str(length), option)
        return main

    def test_selecting_does_not_publish_on_primary(self):
        main = self.generated(12)
        _, y = centre(OUTPUT_BOX)
        ways = {
            "mouse drag": lambda: self.desktop.xdotool(
                "mousemove", "--window", str(main.window), str(OUTPUT_BOX[0] + 4), str(y),
                "mousedown", "1", "sleep", "0.1",
                "mousemove", "--window", str(main.window), str(OUTPUT_BOX[0] + 300), str(y),
                "sleep", "0.1", "mouseup", "1"),
            "double click": lambda: self.desktop.xdotool(
                "mousemove", "--window", str(main.window), str(OUTPUT_BOX[0] + 20), str(y),
                "click", "--repeat", "2", "--delay", "80", "1"),
            "Ctrl+A": lambda: (main.click_output(), self.desktop.key("ctrl+a")),
            "Shift+End": lambda: (main.click_output(), self.desktop.key("Home", "shift+End")),
        }
        for way, select in ways.items():
            with self.subTest(way=way):
                marker = self.desktop.new_sentinel("primary")
                select()
                # The selection is there: Ctrl+C copies all of it.
                clip_marker = self.desktop.new_sentinel()
                self.desktop.key("ctrl+c")
                password = self.desktop.changed_selection(clip_marker)
                self.assert_password(password, 12)
                primary = self.desktop.read_selection("primary")
                self.assertIn(primary, (None, marker, ""), way)

    def test_dragging_the_selection_carries_nothing(self):
        # Digits only, so that a drop into the length box would stay there.
        main = self.generated(8, option=1)
        main.click_output()
        self.desktop.key("ctrl+a")
        _, y = centre(OUTPUT_BOX)
        lx, ly = centre(LENGTH_BOX)
        steps = ["mousemove", "--window", str(main.window), str(OUTPUT_BOX[0] + 8), str(y),
                 "mousedown", "1", "sleep", "0.2"]
        for i in range(1, 11):
            steps += ["mousemove", "--window", str(main.window),
                      str(round(OUTPUT_BOX[0] + 8 + (lx - OUTPUT_BOX[0] - 8) * i / 10)),
                      str(round(y + (ly - y) * i / 10)), "sleep", "0.05"]
        steps += ["sleep", "0.3", "mouseup", "1", "sleep", "0.3"]
        self.desktop.xdotool(*steps)
        # What the length box holds now. On a busy machine the release can
        # reach Qt before the drag it ends has begun, and the drag then ends
        # with the next click instead: the click is made again.
        for _ in range(3):
            marker = self.desktop.new_sentinel()
            main.click(*centre(LENGTH_BOX))
            self.desktop.key("ctrl+a", "ctrl+c")
            try:
                copied = self.desktop.changed_selection(marker, timeout=5)
                break
            except AssertionError as error:
                copied = error
        self.assertEqual(copied, "8")


if __name__ == "__main__":
    unittest.main()

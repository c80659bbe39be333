"""Black-box tests of the built Quorvex, driven only through its window.

The program comes from QUORVEX_EXECUTABLE, the Linux program or Quorvex.exe
under wine; each test runs it on a screen of its own and reads what it makes
through the clipboard. Both meet the same expectations, save where Windows
itself differs, as said where it does.
"""

import re
import signal
import string
import unittest

from desktop import (CLIENT_SIZE, ERROR_TITLE, FRAME_INSETS, MAIN_TITLE, OPTION_SETS,
                     SCREEN, WARNING_TITLE, QuorvexTest, wait_until)


class StartUpTest(QuorvexTest):
    def test_window_title_size_place_and_fixed_size(self):
        main = self.start_main()
        self.assertEqual(self.desktop.windows(MAIN_TITLE), [main.window])
        x, y, width, height = self.desktop.geometry(main.window)
        self.assertEqual((width, height), CLIENT_SIZE)
        # The frame is centred, whatever part of it the program draws.
        left, top, right, bottom = FRAME_INSETS[self.desktop.platform]
        frame = (x - left, y - top, width + left + right, height + top + bottom)
        self.assertLessEqual(abs(frame[0] + frame[2] / 2 - SCREEN[0] / 2), 3, frame)
        self.assertLessEqual(abs(frame[1] + frame[3] / 2 - SCREEN[1] / 2), 3, frame)
        hints = self.desktop.run("xprop", "-id", str(main.window), "WM_NORMAL_HINTS").stdout
        sizes = [re.search(r"%s size: (\d+) by (\d+)" % kind, hints)
                 for kind in ("minimum", "maximum")]
        self.assertTrue(all(sizes), hints)
        self.assertEqual([tuple(map(int, size.groups())) for size in sizes], [CLIENT_SIZE] * 2)

    def test_focus_starts_in_length_box_with_second_option_chosen(self):
        main = self.start_main()
        self.desktop.type("200")
        main.press_generate()
        password = main.copy_output()
        self.assert_password(password, 200, 2)
        # 200 draws from letters and digits hold both.
        self.assertTrue(set(password) & set(string.ascii_letters), password)
        self.assertTrue(set(password) & set(string.digits), password)


class PasswordTest(QuorvexTest):
    def test_each_option_gives_its_whole_set_and_nothing_else(self):
        # 3000 draws miss one of up to 94 characters with a chance below 1e-30.
        main = self.start_main()
        for option in (4, 3, 1, 2):
            with self.subTest(option=option):
                main.generate("3000", option)
                main.answer_box(WARNING_TITLE, "y")
                password = main.copy_output()
                self.assert_password(password, 3000, option)
                self.assertEqual(set(password), OPTION_SETS[option])

    def test_lengths_read_from_the_start_of_the_text(self):
        main = self.start_main()
        # Halves go to the even neighbour; 999.5 rounds to 1000 unasked.
        for text, length in (("2.5", 2), ("3.5", 4), ("  7", 7), ("12ab", 12),
                             ("+6", 6), ("999.5", 1000)):
            with self.subTest(text=text):
                main.generate(text)
                self.assert_password(main.copy_output(), length)
                self.assertEqual(self.desktop.windows(WARNING_TITLE), [])

    def test_length_box_takes_five_characters(self):
        main = self.start_main()
        main.generate("123456")
        main.answer_box(WARNING_TITLE, "y")
        self.assert_password(main.copy_output(), 12345)


class RefusedLengthTest(QuorvexTest):
    def test_refused_lengths_show_error_and_empty_the_output(self):
        main = self.start_main()
        for text in ("0", "", "-5", "abc", "32767"):
            with self.subTest(text=text):
                main.generate("8")
                self.assert_password(main.copy_output(), 8)
                main.generate(text)
                main.answer_box(ERROR_TITLE, "Return")
                self.assertEqual(self.desktop.windows(ERROR_TITLE), [])
                wait_until(lambda: self.desktop.xdotool("getwindowfocus").strip()
                           == str(main.window), "the window to get the keyboard back")
                self.assertEqual(main.copy_output(), "")

    def test_long_password_question(self):
        main = self.start_main()
        # Windows' own Yes/No box has no answer for Esc: the user must choose.
        escape = ("Escape",) if self.desktop.platform == "linux" else ("Escape", "n")
        for text, keys, length in ((("1000", ("Return",), 0), ("5000", escape, 0),
                                    ("1000", ("y",), 1000), ("32766", ("alt+y",), 32766))):
            with self.subTest(text=text, keys=keys):
                main.generate("8")
                self.assert_password(main.copy_output(), 8)
                main.generate(text)
                main.answer_box(WARNING_TITLE, *keys)
                self.assertEqual(self.desktop.windows(WARNING_TITLE), [])
                self.assert_password(main.copy_output(), length)


class CopyShortcutTest(QuorvexTest):
    def setUp(self):
        super().setUp()
        self.main = self.start_main()
        self.main.generate("16")
        self.password = self.main.copy_output()
        self.assert_password(self.password, 16)

    def test_copy_offers_the_password_marked_secret(self):
        read = self.desktop.read_selection
        if self.desktop.platform == "linux":
            marks = {"x-kde-passwordManagerHint": "secret"}
        else:
            # Windows' clipboard history, cloud clipboard and monitors leave
            # it alone; wine offers the formats by their names.
            marks = {"ExcludeClipboardContentFromMonitorProcessing": "\0" * 4,
                     "CanIncludeInClipboardHistory": "\0" * 4,
                     "CanUploadToCloudClipboard": "\0" * 4}
        for target, value in marks.items():
            with self.subTest(target=target):
                self.assertIn(target, read(target="TARGETS").split())
                self.assertEqual(read(target=target), value)
        self.assertEqual(read(target="UTF8_STRING"), self.password)

    def test_ctrl_c_with_nothing_selected_empties_the_clipboard(self):
        self.main.click_output()
        marker = self.desktop.new_sentinel()
        self.desktop.key("ctrl+c")
        self.assertEqual(self.desktop.changed_selection(marker), "")

    def test_other_keys_leave_the_clipboard_alone(self):
        if self.desktop.platform == "windows":
            self.other_keys_answered_by_a_box()
            return
        for keys in ("ctrl+shift+c", "ctrl+alt+c", "ctrl+x"):
            with self.subTest(keys=keys):
                self.main.click_output()
                # Selecting text takes PRIMARY (offering nothing on it): the
                # sign that the program has handled the keys so far.
                primary = self.desktop.new_sentinel("primary")
                self.desktop.key("ctrl+a")
                self.desktop.wait_selection_taken(primary)
                clipboard = self.desktop.new_sentinel()
                primary = self.desktop.new_sentinel("primary")
                # Keys are handled in order: once the new selection takes
                # PRIMARY, the keys before it have been handled.
                self.desktop.key(keys, "End", "ctrl+a")
                self.desktop.wait_selection_taken(primary)
                self.assertEqual(self.desktop.read_selection(), clipboard)


    def other_keys_answered_by_a_box(self):
        """The same keys where selecting text shows nowhere outside the
        program (wine takes no PRIMARY selection): after them, Shift+Tab and
        Space press the button on a length it refuses, and its box is the
        sign that the keys before have been handled."""
        for keys in ("ctrl+shift+c", "ctrl+alt+c", "ctrl+x"):
            with self.subTest(keys=keys):
                self.main.generate("0")
                self.main.answer_box(ERROR_TITLE, "Return")
                self.main.click_output()
                clipboard = self.desktop.new_sentinel()
                self.desktop.key("ctrl+a", keys, "End", "ctrl+a", "shift+Tab", "space")
                self.main.answer_box(ERROR_TITLE, "Return")
                self.assertEqual(self.desktop.read_selection(), clipboard)


class SingleInstanceTest(QuorvexTest):
    def test_second_copy_shows_error_and_ends(self):
        main = self.start_main()
        second = self.desktop.start_quorvex()
        box = self.desktop.wait_window(ERROR_TITLE, second.pid)
        self.assertEqual(self.desktop.windows(ERROR_TITLE), [box])
        self.assertEqual(self.desktop.windows(MAIN_TITLE), [main.window])
        self.desktop.answer_box(box, ERROR_TITLE, "Return")
        self.assertEqual(second.wait(timeout=60), 0)
        self.assertEqual(self.desktop.windows(MAIN_TITLE), [main.window])
        main.focus()
        main.generate("6", 1)
        self.assert_password(main.copy_output(), 6, 1)

    def test_start_after_kill_works_and_draws_anew(self):
        passwords = []
        for _ in range(2):
            main = self.start_main()
            self.assertEqual(self.desktop.windows(ERROR_TITLE), [])
            self.desktop.type("32")
            main.press_generate()
            passwords.append(main.copy_output())
            self.assert_password(passwords[-1], 32)
            main.process.send_signal(signal.SIGKILL)
            main.process.wait(timeout=60)
            wait_until(lambda: not self.desktop.windows(MAIN_TITLE), "the window to go")
        self.assertNotEqual(passwords[0], passwords[1])

    def test_three_copies_started_at_once(self):
        processes = [self.desktop.start_quorvex() for _ in range(3)]

        def shown():
            found = {title: {self.desktop.window_pid(w): w for w in self.desktop.windows(title)}
                     for title in (MAIN_TITLE, ERROR_TITLE)}
            pids = set(found[MAIN_TITLE]) | set(found[ERROR_TITLE])
            return found if all(p.pid in pids for p in processes) else None

        found = wait_until(shown, "each copy to show a window")
        mains, boxes = found[MAIN_TITLE], found[ERROR_TITLE]
        self.assertEqual((len(mains), len(boxes)), (1, 2), found)
        self.assertFalse(set(mains) & set(boxes))
        for process in processes:
            if process.pid not in boxes:
                continue
            if self.desktop.platform == "windows":
                # Under wine, two message boxes of different processes shown
                # at once take neither keys nor clicks (a bare MessageBoxW
                # does the same): the window manager closes each, which a
                # box with OK alone answers as OK.
                self.desktop.close(boxes[process.pid])
            else:
                self.desktop.answer_box(boxes[process.pid], ERROR_TITLE, "Return")
                self.assertEqual(process.wait(timeout=60), 0)
        self.assertEqual([p.poll() for p in processes if p.pid in mains], [None])


if __name__ == "__main__":
    unittest.main()

"""Black-box tests of the built Quorvex on a virtual X server.

The program is started as a user starts it and driven only through its window:
clicks at the places of its controls, typed keys, message boxes found by their
titles, and the clipboard read with xclip. The path of the program comes from
the environment variable QUORVEX_EXECUTABLE.
"""

import re
import signal
import string
import unittest

from desktop import (CLIENT_HEIGHT, CLIENT_WIDTH, ERROR_TITLE, MAIN_TITLE,
                     SCREEN_HEIGHT, SCREEN_WIDTH, WARNING_TITLE, Desktop,
                     MainWindow, end_process, executable_from_environment,
                     wait_until, wait_until_changed)

DIGITS = set(string.digits)
LETTERS_AND_DIGITS = set(string.ascii_letters + string.digits)
FIRST_SYMBOLS = set("!@#$%^&*()-_+;:,.")
SECOND_SYMBOLS = set("=[]{}'<>/?\\|`~")

# The characters each option button's set holds.
OPTION_SETS = {
    1: DIGITS,
    2: LETTERS_AND_DIGITS,
    3: LETTERS_AND_DIGITS | FIRST_SYMBOLS,
    4: LETTERS_AND_DIGITS | FIRST_SYMBOLS | SECOND_SYMBOLS,
}


class QuorvexTestCase(unittest.TestCase):
    """Each test gets a screen and a runtime folder of its own."""

    def setUp(self):
        self.desktop = Desktop(self, executable_from_environment())

    def start_main(self):
        """Starts the program and waits for its window, which then gets the
        keyboard as a window manager would give it."""
        main = MainWindow(self.desktop, self.desktop.start_quorvex())
        main.focus()
        return main

    def assert_password(self, password, length, option):
        self.assertEqual(len(password), length, "password %r" % password[:80])
        strangers = set(password) - OPTION_SETS[option]
        self.assertFalse(strangers, "characters outside the set of Option%d: %r"
                         % (option, sorted(strangers)))

    def assert_no_boxes(self):
        self.assertEqual(self.desktop.windows(ERROR_TITLE), [])
        self.assertEqual(self.desktop.windows(WARNING_TITLE), [])

    def generate_and_read(self, main, length_text, option=None):
        main.generate(length_text, option)
        return main.copy_output()


class StartUpTest(QuorvexTestCase):
    def test_window_title_size_place_and_fixed_size(self):
        main = self.start_main()
        self.assertEqual(self.desktop.windows(MAIN_TITLE), [main.window])
        x, y, width, height = self.desktop.geometry(main.window)
        self.assertEqual((width, height), (CLIENT_WIDTH, CLIENT_HEIGHT))
        self.assertLessEqual(abs((x + width / 2) - SCREEN_WIDTH / 2), 3, (x, y))
        self.assertLessEqual(abs((y + height / 2) - SCREEN_HEIGHT / 2), 3, (x, y))

        hints = self.desktop.run("xprop", "-id", str(main.window),
                                 "WM_NORMAL_HINTS").stdout.decode()
        minimum = re.search(r"minimum size: (\d+) by (\d+)", hints)
        maximum = re.search(r"maximum size: (\d+) by (\d+)", hints)
        self.assertIsNotNone(minimum, hints)
        self.assertIsNotNone(maximum, hints)
        self.assertEqual(minimum.groups(), (str(CLIENT_WIDTH), str(CLIENT_HEIGHT)))
        self.assertEqual(maximum.groups(), minimum.groups())

    def test_focus_starts_in_length_box_with_second_option_chosen(self):
        main = self.start_main()
        self.desktop.type("200")
        main.press_generate()
        password = main.copy_output()
        self.assert_password(password, 200, 2)
        # Letters and digits both appear in 200 draws from the second set,
        # and none of the symbols of the larger sets.
        self.assertTrue(set(password) & set(string.ascii_letters), password)
        self.assertTrue(set(password) & DIGITS, password)

    def test_tab_order_and_space_on_the_button(self):
        main = self.start_main()
        self.desktop.type("9")
        self.desktop.key("Tab", "space")  # Text1 -> Command1, pressed
        marker = self.desktop.new_sentinel()
        self.desktop.key("Tab", "ctrl+a", "ctrl+c")  # Command1 -> Text2
        first = wait_until_changed(self.desktop, marker)
        self.assert_password(first, 9, 2)

        # Text2 -> the chosen option button -> Text1, where the old text is
        # selected and replaced by what is typed.
        self.desktop.key("Tab", "Tab")
        self.desktop.type("5")
        self.desktop.key("Tab", "space")
        marker = self.desktop.new_sentinel()
        self.desktop.key("Tab", "ctrl+a", "ctrl+c")
        second = wait_until_changed(self.desktop, marker)
        self.assert_password(second, 5, 2)

    def test_enter_and_esc_in_length_box_do_not_generate(self):
        main = self.start_main()
        self.desktop.type("12")
        self.desktop.key("Return", "Escape")
        self.assertEqual(main.copy_output(), "")
        self.assert_no_boxes()
        self.assertEqual(self.desktop.windows(MAIN_TITLE), [main.window])


class PasswordTest(QuorvexTestCase):
    def test_each_option_gives_its_characters(self):
        main = self.start_main()
        for option, length in ((1, 17), (2, 23), (3, 31), (4, 40)):
            with self.subTest(option=option):
                password = self.generate_and_read(main, str(length), option)
                self.assert_password(password, length, option)

    def test_long_passwords_cover_each_whole_set(self):
        # 3000 draws miss a character of a set of up to 94 only with a
        # chance far below one in a billion.
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
        cases = (
            ("2.5", 2),  # halves go to the even neighbour
            ("3.5", 4),
            ("1.4", 1),
            ("  7", 7),  # leading blanks are skipped
            ("12ab", 12),  # reading stops at the first letter
            ("+6", 6),
            ("999.5", 1000),  # below 1000: no question, but rounded to 1000
        )
        for text, length in cases:
            with self.subTest(text=text):
                password = self.generate_and_read(main, text)
                self.assert_no_boxes()
                self.assert_password(password, length, 2)

    def test_length_box_takes_five_characters(self):
        main = self.start_main()
        main.generate("123456")
        # The sixth digit is refused: 12345 asks for confirmation.
        main.answer_box(WARNING_TITLE, "y")
        self.assert_password(main.copy_output(), 12345, 2)

        main.generate("999999")  # 99999: too big
        main.answer_box(ERROR_TITLE, "Return")
        self.assertEqual(main.copy_output(), "")

    def test_output_cannot_be_edited(self):
        main = self.start_main()
        password = self.generate_and_read(main, "10")
        self.assert_password(password, 10, 2)
        main.click_output()
        self.desktop.key("End", "BackSpace", "Home", "Delete")
        self.desktop.type("abc")
        self.assertEqual(main.copy_output(), password)

    def test_each_click_makes_a_new_password(self):
        main = self.start_main()
        first = self.generate_and_read(main, "32")
        main.press_generate()
        second = main.copy_output()
        self.assert_password(first, 32, 2)
        self.assert_password(second, 32, 2)
        self.assertNotEqual(first, second)


class RefusedLengthTest(QuorvexTestCase):
    def fill_output(self, main):
        self.assert_password(self.generate_and_read(main, "8"), 8, 2)

    def test_lengths_outside_the_range_are_refused(self):
        main = self.start_main()
        for text in ("0", "", "0.9", "-5", "abc", "32767", "99999"):
            with self.subTest(text=text):
                self.fill_output(main)
                main.generate(text)
                main.answer_box(ERROR_TITLE, "Return")
                self.assert_no_boxes()
                # The program gives the keyboard back to its window.
                wait_until(lambda: self.desktop.focused_window() == main.window,
                           "the window to get the keyboard back")
                self.assertEqual(main.copy_output(), "")

    def test_error_box_closes_with_space_and_escape(self):
        main = self.start_main()
        for key in ("space", "Escape"):
            with self.subTest(key=key):
                main.generate("0")
                main.answer_box(ERROR_TITLE, key)
                self.assert_no_boxes()

    def test_long_password_question_no(self):
        main = self.start_main()
        for text, keys in (("1000", ("Return",)), ("5000", ("Escape",)),
                           ("32766", ("n",))):
            with self.subTest(text=text, keys=keys):
                self.fill_output(main)
                main.generate(text)
                main.answer_box(WARNING_TITLE, *keys)
                self.assert_no_boxes()
                self.assertEqual(main.copy_output(), "")

    def test_long_password_question_yes(self):
        main = self.start_main()
        for text, keys in (("1000", ("y",)), ("1000", ("shift+Tab", "space")),
                           ("32766", ("alt+y",))):
            with self.subTest(text=text, keys=keys):
                main.generate(text)
                main.answer_box(WARNING_TITLE, *keys)
                self.assert_no_boxes()
                self.assert_password(main.copy_output(), int(text), 2)


class CopyShortcutTest(QuorvexTestCase):
    def test_copy_puts_the_selection_with_the_secret_mark(self):
        main = self.start_main()
        password = self.generate_and_read(main, "20")
        self.assert_password(password, 20, 2)
        targets = self.desktop.read_selection(target="TARGETS").split()
        self.assertIn("x-kde-passwordManagerHint", targets)
        self.assertEqual(self.desktop.read_selection(target="x-kde-passwordManagerHint"),
                         "secret")
        self.assertEqual(self.desktop.read_selection(target="UTF8_STRING"), password)

    def test_copy_of_part_of_the_password(self):
        main = self.start_main()
        password = self.generate_and_read(main, "20")
        marker = self.desktop.new_sentinel()
        main.click_output()
        self.desktop.key("Home", "shift+Right", "shift+Right", "shift+Right",
                         "shift+Right", "ctrl+c")
        self.assertEqual(wait_until_changed(self.desktop, marker), password[:4])

    def test_ctrl_c_with_nothing_selected_empties_the_clipboard(self):
        main = self.start_main()
        self.assert_password(self.generate_and_read(main, "12"), 12, 2)
        # A click in the box leaves nothing selected.
        main.click_output()
        marker = self.desktop.new_sentinel()
        self.desktop.key("ctrl+c")
        self.assertEqual(wait_until_changed(self.desktop, marker), "")

    def test_other_keys_leave_the_clipboard_alone(self):
        main = self.start_main()
        password = self.generate_and_read(main, "16")
        self.assert_password(password, 16, 2)
        for keys in ("ctrl+shift+c", "ctrl+alt+c", "c", "ctrl+v", "ctrl+x"):
            with self.subTest(keys=keys):
                main.click_output()
                self.desktop.key("ctrl+a")  # the whole password is selected
                wait_until(lambda: self.desktop.read_selection("primary") == password,
                           "the selection of the password")
                clipboard = self.desktop.new_sentinel()
                primary = self.desktop.new_sentinel("primary")
                self.desktop.key(keys)
                # Keys are handled in order: once the next selection shows,
                # the keys before it have been handled.
                self.desktop.key("End", "ctrl+a")
                self.assertEqual(wait_until_changed(self.desktop, primary, "primary"),
                                 password)
                self.assertEqual(self.desktop.read_selection(), clipboard)

    def test_ctrl_c_in_length_box_leaves_the_clipboard_alone(self):
        self.start_main()
        self.desktop.type("42")
        self.desktop.key("End")
        clipboard = self.desktop.new_sentinel()
        primary = self.desktop.new_sentinel("primary")
        self.desktop.key("ctrl+c", "ctrl+a")
        self.assertEqual(wait_until_changed(self.desktop, primary, "primary"), "42")
        self.assertEqual(self.desktop.read_selection(), clipboard)


class SingleInstanceTest(QuorvexTestCase):
    def test_second_copy_shows_error_and_ends(self):
        main = self.start_main()
        second = self.desktop.start_quorvex()
        box = self.desktop.wait_window(ERROR_TITLE, second.pid)
        self.assertEqual(self.desktop.windows(ERROR_TITLE), [box])
        self.assertEqual(self.desktop.windows(MAIN_TITLE), [main.window])
        self.assertIsNone(second.poll())

        self.desktop.focus(box)
        self.desktop.key("Return")
        self.assertEqual(second.wait(timeout=60), 0)
        self.assertEqual(self.desktop.windows(ERROR_TITLE), [])
        self.assertEqual(self.desktop.windows(MAIN_TITLE), [main.window])

        # The first copy goes on working.
        main.focus()
        self.assert_password(self.generate_and_read(main, "6", 1), 6, 1)

    def test_killed_copy_does_not_block_the_next_start(self):
        first = self.start_main()
        first.process.send_signal(signal.SIGKILL)
        first.process.wait(timeout=60)
        wait_until(lambda: not self.desktop.windows(MAIN_TITLE), "the window to go")

        again = self.start_main()
        self.assertEqual(self.desktop.windows(ERROR_TITLE), [])
        self.assert_password(self.generate_and_read(again, "7"), 7, 2)

    def test_three_copies_started_at_once(self):
        processes = [self.desktop.start_quorvex() for _ in range(3)]

        def shown():
            mains = {self.desktop.window_pid(w): w for w in self.desktop.windows(MAIN_TITLE)}
            boxes = {self.desktop.window_pid(w): w for w in self.desktop.windows(ERROR_TITLE)}
            if all(p.pid in mains or p.pid in boxes for p in processes):
                return mains, boxes
            return None

        mains, boxes = wait_until(shown, "each copy to show a window")
        self.assertEqual(len(mains), 1, mains)
        self.assertEqual(len(boxes), 2, boxes)
        self.assertFalse(set(mains) & set(boxes))

        for process in processes:
            if process.pid in boxes:
                self.desktop.focus(boxes[process.pid])
                self.desktop.key("Return")
                self.assertEqual(process.wait(timeout=60), 0)
        (survivor,) = [p for p in processes if p.pid in mains]
        self.assertIsNone(survivor.poll())
        self.assertEqual(self.desktop.windows(ERROR_TITLE), [])
        self.assertEqual(len(self.desktop.windows(MAIN_TITLE)), 1)


class RandomSeedTest(QuorvexTestCase):
    def test_two_starts_give_different_passwords(self):
        passwords = []
        for _ in range(2):
            main = self.start_main()
            self.desktop.type("32")
            main.press_generate()
            passwords.append(main.copy_output())
            end_process(main.process)
            wait_until(lambda: not self.desktop.windows(MAIN_TITLE), "the window to go")
        for password in passwords:
            self.assert_password(password, 32, 2)
        self.assertNotEqual(passwords[0], passwords[1])


if __name__ == "__main__":
    unittest.main()

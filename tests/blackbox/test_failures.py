"""Black-box tests of the failures that must end in a message and leave the
program usable: no random source, no memory, no display.
"""

import glob
import os
import resource
import shutil
import subprocess
import unittest

from desktop import (MAIN_TITLE, TIMEOUT, WARNING_TITLE, MainWindow, QuorvexTest, end_process,
                     wait_until)
from test_appearance import Screen


def build_shim(test, name):
    """Compiles a shim of this folder for LD_PRELOAD; gives its path."""
    if not shutil.which("cc"):
        test.skipTest("no C compiler for the shim")
    shim = os.path.join(test.desktop.folder, name + ".so")
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), name + ".c")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, source], check=True,
                   timeout=TIMEOUT)
    return shim


class NoRandomSourceTest(QuorvexTest):
    def test_window_whole_and_each_generate_reports_error_68(self):
        shim = build_shim(self, "no_random_shim")
        # The pointer away from the window, which then has no keyboard and
        # so no blinking caret in its pictures.
        self.desktop.xdotool("mousemove", "0", "0")

        # A busy machine paints late: the normal start's picture is taken once
        # two looks agree, and the other start is given as long to match it.
        normal = self.desktop.start_quorvex()
        window = self.desktop.wait_window(MAIN_TITLE, normal.pid)
        looks = [Screen(self.desktop, window).pixels]

        def settled():
            looks.append(Screen(self.desktop, window).pixels)
            return looks[-1] == looks[-2]

        wait_until(settled, "the normal start's window to be painted")
        end_process(normal)
        process = self.desktop.start_quorvex(env=dict(self.desktop.env, LD_PRELOAD=shim))
        window = self.desktop.wait_window(MAIN_TITLE, process.pid)
        wait_until(lambda: Screen(self.desktop, window).pixels == looks[-1],
                   "the picture of a normal start")
        # No box before the window.
        self.assertEqual(self.desktop.windows(MAIN_TITLE, process.pid), [window])

        main = MainWindow(self.desktop, process)
        main.focus()
        for _ in range(2):
            main.generate("12")

            def report():
                return [w for w in self.desktop.windows(MAIN_TITLE, process.pid) if w != window]
            box = wait_until(report, "the runtime error box")[0]
            self.desktop.answer_box(box, MAIN_TITLE, "Return")
            self.assertIsNone(process.poll())
            self.assertEqual(main.copy_output(), "")
        self.assertEqual(self.desktop.streams(process), [b"", b""])


class OutOfMemoryTest(QuorvexTest):
    def test_allocation_failure_during_a_long_password(self):
        shim = build_shim(self, "oom_shim")
        arm = os.path.join(self.desktop.folder, "arm")
        # 32766 characters take 64 KiB; the window's own buffers are larger
        # and made before the shim is armed.
        shim_env = dict(LD_PRELOAD=shim, OOM_SHIM_ARM=arm, OOM_SHIM_MIN="60000")
        # For the program alone, not for xdotool and xclip.
        main = self.start_main(env=dict(self.desktop.env, **shim_env))
        main.generate("32766")
        warning = self.desktop.wait_window(WARNING_TITLE, main.process.pid)
        open(arm, "w").close()
        self.desktop.answer_box(warning, WARNING_TITLE, "y")

        def report():
            return [w for w in self.desktop.windows(MAIN_TITLE, main.process.pid)
                    if w != main.window]
        box = wait_until(report, "the runtime error box")[0]
        self.assertIn(b"oom-shim: refused", self.desktop.streams(main.process)[1])
        self.desktop.answer_box(box, MAIN_TITLE, "Return")
        self.assertIsNone(main.process.poll())
        # Nothing was made before the room for the password failed; the
        # program goes on.
        self.assertEqual(main.copy_output(), "")
        main.generate("12")
        self.assert_password(main.copy_output(), 12)


class NoDisplayTest(QuorvexTest):
    def test_no_display_is_one_line_and_status_1(self):
        cases = [("unset", None, b'Quorvex: cannot open display: DISPLAY is not set\n'),
                 ("nobody serves it", ":%d" % (int(self.desktop.display[1:]) + 1000),
                  None)]
        for name, display, expected in cases:
            with self.subTest(name):
                env = {k: v for k, v in self.desktop.env.items()
                       if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
                if display:
                    env["DISPLAY"] = display
                    expected = b'Quorvex: cannot open display "%s"\n' % display.encode()
                folder = os.path.join(self.desktop.folder, "cwd-" + name.replace(" ", "-"))
                os.mkdir(folder)
                result = subprocess.run(
                    self.desktop.enter + [self.desktop.executable], env=env, cwd=folder,
                    capture_output=True, timeout=TIMEOUT, stdin=subprocess.DEVNULL,
                    preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE,
                                                          (resource.RLIM_INFINITY,) * 2))
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(result.stderr, expected)
                self.assertEqual(result.stdout, b"")
                self.assertEqual(glob.glob(os.path.join(folder, "core*")), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)

"""Black-box tests of the single-instance guard in a hostile or unlucky
environment, and of the failures that must end in a message: no memory and
no display.

Each copy of a desktop runs in that desktop's own network namespace (see
desktop.py), so the guard meets the copies of its test and no others.
"""

import glob
import os
import resource
import shutil
import subprocess
import unittest

from desktop import (ERROR_TITLE, MAIN_TITLE, TIMEOUT, WARNING_TITLE, QuorvexTest,
                     wait_until)

NOBODY = 65534
OLD_LOCK = "quorvex.lock"  # where earlier versions kept a lock file


class GuardTest(QuorvexTest):
    def refused(self, env, prefix=()):
        """Starts a second copy; checks that it shows the Error box and
        nothing else, and ends with status 0 once the box is answered."""
        process = self.desktop.start_quorvex(env=env, prefix=prefix)
        box = self.desktop.wait_window(ERROR_TITLE, process.pid)
        self.assertEqual(self.desktop.windows(MAIN_TITLE, process.pid), [])
        self.desktop.answer_box(box, ERROR_TITLE, "Return")
        self.assertEqual(process.wait(timeout=TIMEOUT), 0)
        return self.desktop.streams(process)[1]

    def folder(self, name, mode=0o700):
        path = os.path.join(self.desktop.folder, name)
        os.mkdir(path)
        os.chmod(path, mode)
        return path

    def test_second_copy_refused_whatever_its_environment(self):
        main = self.start_main()
        base = self.desktop.env
        runtime_lock = os.path.join(self.desktop.runtime_dir, OLD_LOCK)
        read_only_home = self.folder("home-read-only", 0o500)

        def unset(*names):
            return {k: v for k, v in base.items() if k not in names}

        def tamper(make):
            def apply():
                # Whatever a lock file there was is replaced, as a file-based
                # guard would meet it while its holder keeps the file open.
                if os.path.lexists(runtime_lock) and not os.path.isdir(runtime_lock):
                    os.unlink(runtime_lock)
                make()
                return lambda: (os.rmdir if os.path.isdir(runtime_lock)
                                and not os.path.islink(runtime_lock) else os.unlink)(runtime_lock)
            return apply

        cases = [
            ("runtime folder unset", unset("XDG_RUNTIME_DIR"), None, ()),
            ("another private runtime, cache and home",
             dict(base, XDG_RUNTIME_DIR=self.folder("runtime-2"),
                  XDG_CACHE_HOME=self.folder("cache-2"), HOME=self.folder("home-2")), None, ()),
            ("read-only home, no cache", dict(unset("XDG_RUNTIME_DIR", "XDG_CACHE_HOME"),
                                              HOME=read_only_home), None, ()),
            ("lock path a dangling link", base,
             tamper(lambda: os.symlink("/nonexistent/lock", runtime_lock)), ()),
            ("lock path a folder", base, tamper(lambda: os.mkdir(runtime_lock, 0)), ()),
            ("lock path a FIFO", base, tamper(lambda: os.mkfifo(runtime_lock, 0)), ()),
            ("ten file descriptors", base, None, ("prlimit", "--nofile=10:10")),
        ]
        for name, env, setup, prefix in cases:
            with self.subTest(name):
                undo = setup() if setup else None
                try:
                    said = self.refused(env, prefix)
                finally:
                    if undo:
                        undo()
                self.assertEqual(said.count(b"starting anyway"), 0, said)
                self.assertIsNone(main.process.poll())
        self.assertEqual(self.desktop.windows(MAIN_TITLE), [main.window])

    def test_runtime_folder_named_with_a_byte_that_is_not_utf8(self):
        # The folder whose name a lossy conversion would give instead, open to
        # everyone as /tmp is: nothing may land there, nor in the real one.
        raw = self.folder(os.fsdecode(b"run\xff"))
        lookalike = self.folder("run\ufffd", 0o1777)
        self.desktop.env["XDG_RUNTIME_DIR"] = raw
        main = self.start_main()
        self.refused(self.desktop.env)
        self.assertIsNone(main.process.poll())
        self.assertEqual((os.listdir(raw), os.listdir(lookalike)), ([], []))


class OtherUserTest(QuorvexTest):
    """A copy of another user: it neither blocks nor is blocked by ours,
    it is refused by its own, and it is not dumpable."""

    def test_copy_of_another_user(self):
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("needs root and setpriv to run a copy as another user")
        main = self.start_main()
        home = os.path.join(self.desktop.folder, "nobody")
        os.mkdir(home, 0o700)
        os.chown(home, NOBODY, NOBODY)
        os.chmod(self.desktop.folder, 0o755)
        env = dict(self.desktop.env, HOME=home, XDG_RUNTIME_DIR=home)
        setpriv = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]

        def start():
            return self.desktop.start_quorvex(env=env, prefix=setpriv, cwd=home)

        other = start()
        window = self.desktop.wait_window(MAIN_TITLE, other.pid)
        self.assertNotEqual(window, main.window)
        with open("/proc/%d/status" % other.pid) as stream:
            self.assertIn("Uid:\t%d\t" % NOBODY, stream.read())
        # A process that is not dumpable has its /proc files owned by root.
        self.assertEqual(os.stat("/proc/%d/environ" % other.pid).st_uid, 0)

        second = start()
        box = self.desktop.wait_window(ERROR_TITLE, second.pid)
        self.desktop.answer_box(box, ERROR_TITLE, "Return")
        self.assertEqual(second.wait(timeout=TIMEOUT), 0)
        self.assertIsNone(other.poll())
        self.assertIsNone(main.process.poll())


class OutOfMemoryTest(QuorvexTest):
    def test_allocation_failure_during_a_long_password(self):
        if not shutil.which("cc"):
            self.skipTest("no C compiler for the allocation shim")
        shim = os.path.join(self.desktop.folder, "oom_shim.so")
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "oom_shim.c")
        subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, source], check=True,
                       timeout=TIMEOUT)
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

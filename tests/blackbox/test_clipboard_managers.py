"""What a real clipboard manager keeps of a copied password.

The copy shortcut marks the password with x-kde-passwordManagerHint. Debian
12's CopyQ (6.4) does not know the mark and keeps the password in its history;
the automatic command the README gives makes it skip marked copies. The
command is taken from the README itself, so the README says what works.
"""

import json
import os
import re
import shlex
import subprocess
import unittest

from desktop import TIMEOUT, QuorvexTest, end_process, wait_until

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")


def readme_copyq_command():
    """The `copyq eval` command line of the README, split into arguments."""
    with open(README, encoding="utf-8") as stream:
        text = stream.read()
    found = re.findall(r"(?m)^(copyq eval -- .*setCommands.*)$", text)
    if len(found) != 1:
        raise AssertionError("the README gives %d copyq commands, not one" % len(found))
    return shlex.split(found[0])


class CopyQTest(QuorvexTest):
    def setUp(self):
        super().setUp()
        # Each test its own CopyQ: a session name of its own (the server's
        # socket) and the desktop's private HOME (settings and history).
        self.session = "quorvex%d" % os.getpid()
        # CopyQ's debug log tells when its clipboard monitor has taken a
        # change, so that no wait below depends on how busy the machine is.
        log = os.path.join(self.desktop.folder, "copyq.log")
        self.debug_log = os.path.join(self.desktop.folder, "copyq-debug.log")
        env = dict(self.desktop.env, COPYQ_LOG_LEVEL="DEBUG", COPYQ_LOG_FILE=self.debug_log)
        with open(log, "wb") as stream:
            server = subprocess.Popen(["copyq", "-s", self.session], env=env,
                                      stdin=subprocess.DEVNULL, stdout=stream, stderr=stream)
        self.addCleanup(end_process, server)
        wait_until(lambda: server.poll() is not None or self.copyq("count", check=False)
                   .returncode == 0, "CopyQ to serve")
        with open(log, encoding="utf-8", errors="replace") as stream:
            self.assertIsNone(server.poll(), "CopyQ ended at once: " + stream.read())
        self.assertEqual(self.history(), [])

    def copyq(self, *args, check=True):
        result = subprocess.run(["copyq", "-s", self.session, *args],
                                env=self.desktop.env, capture_output=True, timeout=TIMEOUT,
                                stdin=subprocess.DEVNULL, encoding="utf-8", errors="replace")
        if check and result.returncode != 0:
            raise AssertionError("copyq %s failed (%d): %s" % (
                " ".join(args), result.returncode, result.stderr))
        return result

    def logged(self, text):
        """Whether CopyQ's debug log holds text."""
        try:
            with open(self.debug_log, encoding="utf-8", errors="replace") as stream:
                return text in stream.read()
        except FileNotFoundError:
            return False

    def history(self):
        """The texts CopyQ keeps, newest first."""
        script = ("var items = []; for (var i = 0; i < count(); ++i) items.push(str(read(i)));"
                  " print(JSON.stringify(items))")
        return json.loads(self.copyq("eval", "--", script).stdout)

    def copy_password(self):
        """Copies a fresh password from the program; returns it."""
        main = self.start_main()
        main.generate("20")
        password = main.copy_output()
        self.assert_password(password, 20)
        return password

    def test_copyq_keeps_a_marked_password(self):
        password = self.copy_password()
        wait_until(lambda: password in self.history(), "CopyQ to keep the password")

    def test_readme_command_keeps_it_out(self):
        command = readme_copyq_command()
        self.assertEqual(command[:3], ["copyq", "eval", "--"])
        self.copyq(*command[1:])
        added = json.loads(self.copyq(
            "eval", "--", "print(JSON.stringify(commands().map(function(c) {"
            " return [c.automatic, c.input]; })))").stdout)
        self.assertEqual(added, [[True, "x-kde-passwordManagerHint"]])
        # A new command restarts CopyQ's clipboard monitor, which then asks
        # for the mark with every change.
        wait_until(lambda: self.logged('format to save for command "Ignore secrets"'),
                   "CopyQ's monitor to take the command")
        password = self.copy_password()
        wait_until(lambda: self.logged('Automatic command "Ignore secrets": Ignoring data'),
                   "CopyQ to run the command on the password")
        # An unmarked text after it is kept: by then CopyQ is done with the
        # password.
        marker = self.desktop.new_sentinel()
        wait_until(lambda: marker in self.history(), "CopyQ to keep the unmarked text")
        # Only xclip's unmarked markers, the one before the copy included.
        history = self.history()
        self.assertNotIn(password, history)
        self.assertEqual([t for t in history if not t.startswith("sentinel-")], [], history)


if __name__ == "__main__":
    unittest.main(verbosity=2)

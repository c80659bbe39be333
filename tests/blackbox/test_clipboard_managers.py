"""What a real clipboard manager keeps of a copied password.

The copy shortcut marks the password with x-kde-passwordManagerHint. CopyQ
8 and later (Debian 13's 10) leave marked copies out by themselves; Debian
12's CopyQ 6.4 does not know the mark and keeps the password in its history,
and the automatic command the README gives makes it skip marked copies. The
command is taken from the README itself, so the README says what works.
"""

import json
import os
import re
import shlex
import subprocess
import unittest

from desktop import TIMEOUT, QuorvexTest, end_process_group, wait_until

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
# What CopyQ's debug log says for every clipboard change its monitor hands
# on: to onClipboardChanged, or, in CopyQ 8 and later, for a marked copy to
# onSecretClipboardChanged.
CHANGE_HANDED_ON = r"Executing: copyq on(Secret)?ClipboardChanged\b"


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
                                      stdin=subprocess.DEVNULL, stdout=stream, stderr=stream,
                                      start_new_session=True)
        # With the commands it runs.
        self.addCleanup(end_process_group, server)
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

    def logged(self, pattern):
        """How often CopyQ's debug log holds pattern."""
        try:
            with open(self.debug_log, encoding="utf-8", errors="replace") as stream:
                return len(re.findall(pattern, stream.read()))
        except FileNotFoundError:
            return 0

    def history(self):
        """The texts CopyQ keeps, newest first."""
        script = ("var items = []; for (var i = 0; i < count(); ++i) items.push(str(read(i)));"
                  " print(JSON.stringify(items))")
        return json.loads(self.copyq("eval", "--", script).stdout)

    def honours_the_mark(self):
        """Whether this CopyQ leaves marked copies out by itself, which the
        README promises from version 8 on."""
        found = re.search(r"(\d+)\.\d+", self.copyq("--version").stdout)
        self.assertIsNotNone(found)
        return int(found.group(1)) >= 8

    def kept_marker(self):
        """An unmarked text on the clipboard, once CopyQ keeps it: by then
        CopyQ is done with every change before it."""
        marker = self.desktop.new_sentinel()
        wait_until(lambda: marker in self.history(), "CopyQ to keep the unmarked text")
        return marker

    def copy_password(self):
        """Copies a fresh password from the program and waits until CopyQ's
        monitor has handed the change on, so that nothing after it hides it;
        returns it."""
        main = self.start_main()
        main.generate("20")
        marker = self.kept_marker()
        handed_on = self.logged(CHANGE_HANDED_ON)
        main.click_output()
        self.desktop.key("ctrl+a", "ctrl+c")
        password = self.desktop.changed_selection(marker)
        self.assert_password(password, 20)
        wait_until(lambda: self.logged(CHANGE_HANDED_ON) > handed_on,
                   "CopyQ's monitor to take the password")
        return password

    def test_without_the_command_as_the_readme_says(self):
        password = self.copy_password()
        self.kept_marker()
        history = self.history()
        self.assertEqual(password in history, not self.honours_the_mark(), history)

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
        # Only xclip's unmarked markers, the ones before the copy included.
        self.kept_marker()
        history = self.history()
        self.assertNotIn(password, history)
        self.assertEqual([t for t in history if not t.startswith("sentinel-")], [], history)


if __name__ == "__main__":
    unittest.main(verbosity=2)

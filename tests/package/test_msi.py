"""The MSI as Windows users get it: made twice in different folders at
different times it gives the same bytes; installed under wine it puts
Quorvex.exe in Program Files with a Start menu entry, and uninstalling takes
both away again, with the installer's own record.

Environment: QUORVEX_MAKE_MSI (the command that makes the MSI, ";"-separated,
given -o OUTPUT), QUORVEX_WINEPREFIX (the prefix of the Windows tests) and
QUORVEX_VERSION.
"""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

TIMEOUT = 300


def make_msi(folder):
    """Makes the MSI with the build's command, run from `folder`."""
    output = os.path.join(folder, "Quorvex.msi")
    subprocess.run(os.environ["QUORVEX_MAKE_MSI"].split(";") + ["-o", output], cwd=folder,
                   check=True, timeout=TIMEOUT, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return output


def table(msi, name):
    """The rows of a table of the MSI, as lists of columns."""
    text = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                          encoding="utf-8", timeout=TIMEOUT).stdout
    return [line.split("\t") for line in text.splitlines()[3:]]


class MsiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quorvex-msi-")
        first = os.path.join(cls.folder, "first")
        second = os.path.join(cls.folder, "second folder")
        os.mkdir(first)
        os.mkdir(second)
        cls.msi = make_msi(first)
        time.sleep(1.1)  # a second later: no clock time may show in the bytes
        cls.again = make_msi(second)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_made_twice_alike(self):
        with open(self.msi, "rb") as first, open(self.again, "rb") as second:
            self.assertEqual(first.read(), second.read())

    def test_holds_the_program_and_a_start_menu_entry(self):
        files = table(self.msi, "File")
        self.assertEqual([row[2] for row in files], ["Quorvex.exe"])
        shortcuts = table(self.msi, "Shortcut")
        self.assertEqual([(row[1], row[2]) for row in shortcuts],
                         [("ProgramMenuFolder", "Quorvex")])
        properties = dict(row[:2] for row in table(self.msi, "Property"))
        self.assertEqual(properties["ProductVersion"], os.environ["QUORVEX_VERSION"])

    def test_installs_and_uninstalls_without_a_trace(self):
        prefix = os.environ["QUORVEX_WINEPREFIX"]
        env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        env.pop("DISPLAY", None)

        def wine(*args):
            subprocess.run(["wine", *args], env=env, check=True, timeout=TIMEOUT,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            # The registry reaches its files when the wineserver ends.
            subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=TIMEOUT)

        def cleanup():
            subprocess.run(["wineserver", "-k"], env=env, timeout=TIMEOUT)
        self.addCleanup(cleanup)

        drive = os.path.join(prefix, "drive_c")
        folders = [os.path.join(drive, name, "Quorvex")
                   for name in ("Program Files (x86)", "Program Files")]
        # The Start menu of all users, where the package asks for it; wine
        # puts it in the user's own.
        entries = [os.path.join(drive, *folder, "Microsoft", "Windows", "Start Menu", "Programs",
                                "Quorvex.lnk")
                   for folder in (("ProgramData",), ("users", os.environ.get("USER", "root"),
                                                     "AppData", "Roaming"))]
        product = table(self.msi, "Property")
        product_code = dict(row[:2] for row in product)["ProductCode"]

        def registered():
            with open(os.path.join(prefix, "system.reg"), encoding="utf-8",
                      errors="replace") as registry:
                return product_code.lower() in registry.read().lower()

        self.assertFalse(any(os.path.exists(f) for f in folders))
        wine("msiexec", "/i", self.msi, "/qn")
        installed = [f for f in folders if os.path.exists(os.path.join(f, "Quorvex.exe"))]
        self.assertEqual(len(installed), 1, folders)
        with open(os.path.join(installed[0], "Quorvex.exe"), "rb") as stream:
            self.assertEqual(stream.read()[:2], b"MZ")
        self.assertEqual(len([e for e in entries if os.path.exists(e)]), 1, entries)
        self.assertTrue(registered())

        wine("msiexec", "/x", self.msi, "/qn")
        self.assertFalse(any(os.path.exists(f) for f in folders))
        self.assertFalse(any(os.path.exists(e) for e in entries))
        self.assertFalse(registered())
        # Nothing of the product stays in Windows' own folders either.
        leftovers = [os.path.join(root, name) for root, dirs, files in os.walk(drive)
                     for name in dirs + files if "quorvex" in name.lower()]
        self.assertEqual(leftovers, [])


if __name__ == "__main__":
    unittest.main()

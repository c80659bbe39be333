"""Makes the Debian package of the build and checks it as a user of it would.

The package is made with CPack from the build's CPackConfig.cmake into a
temporary folder, unpacked with dpkg-deb into a temporary root, and checked
there: its files, their owners and modes, the control fields, the desktop
entry, the AppStream metadata, lintian, and that the unpacked program starts
and shows its window on a virtual X server.

Environment: QUORVEX_CPACK_CONFIG (the CPackConfig.cmake of the build) and
QUORVEX_VERSION (the version the package must carry).
"""

import configparser
import gzip
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "blackbox"))
from desktop import Desktop, MainWindow  # noqa: E402

BINARY = "usr/bin/Quorvex"
DESKTOP_ENTRY = "usr/share/applications/quorvex.desktop"
ICON = "usr/share/icons/hicolor/32x32/apps/quorvex.png"
METAINFO = "usr/share/metainfo/io.github.quorvex.Quorvex.metainfo.xml"
COPYRIGHT = "usr/share/doc/quorvex/copyright"
CHANGELOG = "usr/share/doc/quorvex/changelog.gz"
MANUAL = "usr/share/man/man1/Quorvex.1.gz"

# Loaded at run time, so no linker finds them: they must be named by hand.
RUN_TIME_DEPENDS = ("qt6-qpa-plugins", "fonts-dejavu-core", "fonts-dancingscript")


def run(*args, timeout=600, check=True):
    result = subprocess.run(list(args), capture_output=True, timeout=timeout,
                            stdin=subprocess.DEVNULL)
    if check and result.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s\n%s" % (
            " ".join(args), result.returncode, result.stdout.decode(errors="replace"),
            result.stderr.decode(errors="replace")))
    return result.stdout.decode(errors="replace")


def depends_names(field):
    """The package names in a Depends field, alternatives included."""
    names = []
    for item in field.split(","):
        for alternative in item.split("|"):
            alternative = alternative.strip()
            if alternative:
                names.append(re.split(r"[\s(:]", alternative, maxsplit=1)[0])
    return names


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        config = os.environ.get("QUORVEX_CPACK_CONFIG", "")
        cls.version = os.environ.get("QUORVEX_VERSION", "")
        if not os.path.isfile(config) or not cls.version:
            raise unittest.SkipTest("QUORVEX_CPACK_CONFIG and QUORVEX_VERSION are not set")
        cls.folder = tempfile.mkdtemp(prefix="quorvex-package-")
        cls.addClassCleanup(shutil.rmtree, cls.folder, True)
        out = os.path.join(cls.folder, "out")
        run("cpack", "-G", "DEB", "--config", config, "-B", out)
        cls.deb = os.path.join(out, "quorvex_%s_amd64.deb" % cls.version)
        if not os.path.isfile(cls.deb):
            raise AssertionError("cpack made no %s; it made %s" % (
                os.path.basename(cls.deb), sorted(os.listdir(out))))
        cls.root = os.path.join(cls.folder, "root")
        run("dpkg-deb", "-x", cls.deb, cls.root)
        cls.fields = {}
        for name in ("Package", "Version", "Architecture", "Section", "Priority",
                     "Maintainer", "Depends", "Description"):
            cls.fields[name] = run("dpkg-deb", "-f", cls.deb, name).strip()

    def path(self, relative):
        return os.path.join(self.root, relative)

    def read_gzip(self, relative):
        with gzip.open(self.path(relative), "rt", encoding="utf-8") as stream:
            return stream.read()

    # --- contents ---------------------------------------------------------------

    def test_files_are_in_place(self):
        expected = {BINARY, DESKTOP_ENTRY, ICON, METAINFO, COPYRIGHT, CHANGELOG, MANUAL}
        found = set()
        for folder, _, files in os.walk(self.root):
            for name in files:
                found.add(os.path.relpath(os.path.join(folder, name), self.root))
        self.assertEqual(found, expected)

    def test_owners_and_modes(self):
        listing = run("dpkg-deb", "-c", self.deb).splitlines()
        self.assertTrue(listing)
        for line in listing:
            mode, owner = line.split()[:2]
            name = line.split()[-1]
            with self.subTest(name=name):
                self.assertEqual(owner, "root/root")
                if name.rstrip("/") in ("./" + BINARY,):
                    self.assertEqual(mode, "-rwxr-xr-x")
                elif mode.startswith("d"):
                    self.assertEqual(mode, "drwxr-xr-x")
                else:
                    self.assertEqual(mode, "-rw-r--r--")

    def test_binary_is_a_stripped_executable(self):
        description = run("file", "-b", self.path(BINARY))
        self.assertIn("ELF 64-bit", description)
        self.assertIn("x86-64", description)
        self.assertRegex(description, r"(^|, )stripped")
        self.assertTrue(os.stat(self.path(BINARY)).st_mode & stat.S_IXOTH)

    def test_icon_is_a_32_pixel_png(self):
        with open(self.path(ICON), "rb") as stream:
            head = stream.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(head[12:16], b"IHDR")
        self.assertEqual(struct.unpack(">II", head[16:24]), (32, 32))

    def test_copyright_is_machine_readable(self):
        with open(self.path(COPYRIGHT), encoding="utf-8") as stream:
            text = stream.read()
        paragraphs = [p for p in text.split("\n\n") if p.strip()]
        self.assertRegex(paragraphs[0], r"^Format: https://www\.debian\.org/doc/"
                         r"packaging-manuals/copyright-format/1\.0/\n")
        self.assertIn("Upstream-Name: Quorvex", paragraphs[0])
        files = [p for p in paragraphs if p.startswith("Files:")]
        self.assertTrue(files, text)
        self.assertRegex(files[0], r"(?m)^Files: \*$")
        self.assertRegex(files[0], r"(?m)^License: MIT$")
        self.assertTrue(any(p.startswith("License: MIT\n") for p in paragraphs),
                        "no stand-alone paragraph with the licence text")

    def test_changelog_names_this_version(self):
        first = self.read_gzip(CHANGELOG).splitlines()[0]
        self.assertRegex(first, r"^quorvex \(%s\) \S+; urgency=\w+$" % re.escape(self.version))
        # gzip -9n: no file name and no time stamp in the header.
        with open(self.path(CHANGELOG), "rb") as stream:
            header = stream.read(10)
        self.assertEqual(header[3] & 0x08, 0, "file name stored")
        self.assertEqual(header[4:8], b"\0\0\0\0", "time stamp stored")

    def test_manual_page_describes_the_program(self):
        text = self.read_gzip(MANUAL)
        self.assertRegex(text, r"(?m)^\.TH QUORVEX 1 ")
        self.assertRegex(text, r"(?m)^\.SH NAME\nQuorvex \\- ")

    # --- control fields -----------------------------------------------------------

    def test_control_fields(self):
        self.assertEqual(self.fields["Package"], "quorvex")
        self.assertEqual(self.fields["Version"], self.version)
        self.assertEqual(self.fields["Architecture"], "amd64")
        self.assertEqual(self.fields["Section"], "utils")
        self.assertEqual(self.fields["Priority"], "optional")
        self.assertRegex(self.fields["Maintainer"], r"^[^<>]+ <[^<>@\s]+@[^<>@\s]+>$")
        synopsis, _, extended = self.fields["Description"].partition("\n")
        self.assertTrue(synopsis)
        self.assertGreater(len(extended.splitlines()), 2)
        for line in extended.splitlines():
            self.assertLessEqual(len(line), 80, line)

    def test_depends_are_run_time_packages_only(self):
        names = depends_names(self.fields["Depends"])
        self.assertEqual([n for n in names if n.endswith("-dev")], [], self.fields["Depends"])
        for name in RUN_TIME_DEPENDS:
            self.assertIn(name, names)
        # The rest comes from the libraries the binary is linked with.
        for name in ("libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6"):
            self.assertIn(name, names)
        self.assertEqual(len(names), len(set(names)), self.fields["Depends"])

    # --- desktop integration ------------------------------------------------------

    def test_desktop_entry(self):
        run("desktop-file-validate", self.path(DESKTOP_ENTRY))
        entry = configparser.ConfigParser(interpolation=None, strict=True)
        entry.optionxform = str
        entry.read(self.path(DESKTOP_ENTRY), encoding="utf-8")
        group = entry["Desktop Entry"]
        self.assertEqual(group["Type"], "Application")
        self.assertEqual(group["Name"], "Quorvex")
        command = group["Exec"].split()[0]
        self.assertTrue(os.path.isfile(self.path(os.path.join("usr/bin", command))),
                        "Exec=%s names no program in /usr/bin" % command)
        self.assertEqual(group["Icon"] + ".png", os.path.basename(ICON))

    def test_appstream_metadata(self):
        run("appstreamcli", "validate", "--no-net", self.path(METAINFO))
        component = ElementTree.parse(self.path(METAINFO)).getroot()
        self.assertEqual(component.get("type"), "desktop-application")
        self.assertEqual(component.findtext("id") + ".metainfo.xml", os.path.basename(METAINFO))
        self.assertEqual(component.findtext("name"), "Quorvex")
        self.assertEqual(component.findtext("project_license"), "MIT")
        launchable = component.find("launchable")
        self.assertEqual(launchable.get("type"), "desktop-id")
        self.assertEqual(launchable.text, os.path.basename(DESKTOP_ENTRY))
        self.assertEqual(component.findtext("provides/binary"), os.path.basename(BINARY))
        self.assertTrue("".join(component.find("description").itertext()).strip())
        versions = [r.get("version") for r in component.iter("release")]
        self.assertIn(self.version, versions)

    def test_lintian_finds_no_errors_or_warnings(self):
        output = run("lintian", "--fail-on", "none", self.deb)
        complaints = [line for line in output.splitlines() if re.match(r"^[EW]: ", line)]
        self.assertEqual(complaints, [], output)

    # --- the unpacked program -------------------------------------------------------

    def test_unpacked_program_shows_its_window(self):
        desktop = Desktop(self, self.path(BINARY))
        process = desktop.start_quorvex()
        main = MainWindow(desktop, process)
        self.assertIsNone(process.poll())
        self.assertEqual(desktop.window_pid(main.window), process.pid)


if __name__ == "__main__":
    unittest.main(verbosity=2)

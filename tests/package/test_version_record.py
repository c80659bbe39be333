"""Compiles the Windows resource script with MinGW's windres and reads the
version record back: the numbers and the 1.00.0001 text must be the build's
version. No Windows headers are at hand on Debian, so the few constants of
winver.h that the script uses are given here.

Environment: QUORVEX_SOURCE_DIR, QUORVEX_VERSION_HEADER_DIR (the build folder
holding quorvex_version.h) and QUORVEX_VERSION.
"""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

WINDRES = "x86_64-w64-mingw32-windres"
WINVER_H = """\
#define VS_VERSION_INFO 1
#define VS_FFI_FILEFLAGSMASK 0x3FL
#define VOS__WINDOWS32 0x4L
#define VFT_APP 0x1L
#define VFT2_UNKNOWN 0x0L
"""


class VersionRecordTest(unittest.TestCase):
    def test_record_carries_the_build_version(self):
        source = os.environ.get("QUORVEX_SOURCE_DIR", "")
        header_dir = os.environ.get("QUORVEX_VERSION_HEADER_DIR", "")
        version = os.environ.get("QUORVEX_VERSION", "")
        if not (source and header_dir and version):
            raise unittest.SkipTest("QUORVEX_SOURCE_DIR, QUORVEX_VERSION_HEADER_DIR and "
                                    "QUORVEX_VERSION are not set")
        self.assertIsNotNone(shutil.which(WINDRES), "%s is missing (binutils-mingw-w64-x86-64)"
                             % WINDRES)
        folder = tempfile.mkdtemp(prefix="quorvex-rc-")
        self.addCleanup(shutil.rmtree, folder, True)
        with open(os.path.join(folder, "winver.h"), "w", encoding="ascii") as stream:
            stream.write(WINVER_H)
        resources = os.path.join(source, "resources")
        result = subprocess.run(
            [WINDRES, "--preprocessor=cpp", "--preprocessor-arg=-P", "-I", folder,
             "-I", resources, "-I", header_dir, "-i", os.path.join(resources, "quorvex.rc"),
             "-O", "rc"], capture_output=True, timeout=60, encoding="utf-8", errors="replace")
        self.assertEqual(result.returncode, 0, result.stderr)
        record = result.stdout[result.stdout.index("VERSIONINFO"):]

        major, minor, patch, tweak = (int(part) for part in version.split("."))
        numbers = "%d, %d, %d, %d" % (major, minor, patch, tweak)
        text = "%d.%02d.%04d" % (major, minor, tweak)
        for key, expected in (("FILEVERSION", numbers), ("PRODUCTVERSION", numbers)):
            with self.subTest(key=key):
                self.assertEqual(re.findall(r"(?m)^\s*%s (.*)$" % key, record), [expected])
        for key in ("FileVersion", "ProductVersion"):
            with self.subTest(key=key):
                self.assertEqual(re.findall(r'VALUE "%s", "([^"]*)"' % key, record), [text])


if __name__ == "__main__":
    unittest.main(verbosity=2)

"""make_pictures.py, run into an empty folder, draws exactly the pictures in
resources/, byte for byte: none stale, none missing, none drawn otherwise."""

import filecmp
import os
import subprocess
import sys
import tempfile
import unittest

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
# What the script draws; resources/ also holds hand-written files.
DRAWN = (".gif", ".png", ".svg", ".ico", ".bin")


def pictures(folder):
    return {os.path.relpath(os.path.join(path, name), folder)
            for path, _, names in os.walk(folder) for name in names if name.endswith(DRAWN)}


class MakePicturesTest(unittest.TestCase):
    def test_script_draws_the_committed_pictures(self):
        with tempfile.TemporaryDirectory(prefix="quorvex-pictures-") as out:
            result = subprocess.run(
                [sys.executable, "-B", os.path.join(RESOURCES, "make_pictures.py"), out],
                capture_output=True, text=True, timeout=300, stdin=subprocess.DEVNULL)
            self.assertEqual(result.returncode, 0, result.stderr)
            drawn = pictures(out)
            self.assertEqual(drawn, pictures(RESOURCES))
            for name in sorted(drawn):
                with self.subTest(picture=name):
                    self.assertTrue(filecmp.cmp(os.path.join(out, name),
                                                os.path.join(RESOURCES, name), shallow=False))


if __name__ == "__main__":
    unittest.main(verbosity=2)

"""Compiles the Windows resource script with the MinGW resource compiler and
reads the compiled resources back: the icon group, its one image and the
version record.

Environment: QUORVEX_RC (the resource script), QUORVEX_ICON_ICO (the icon
file drawn with the window's icon, whose image the executable must hold),
QUORVEX_VERSION_HEADER_DIR (the build folder holding quorvex_version.h) and
QUORVEX_VERSION (the build's version).
"""

import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

WINDRES = "x86_64-w64-mingw32-windres"
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16

# The few Windows SDK constants the script takes from <winver.h>, so that the
# MinGW headers are not needed to compile it.
WINVER_H = """\
#define VS_VERSION_INFO 1
#define VS_FFI_FILEFLAGSMASK 0x0000003FL
#define VOS__WINDOWS32 0x00000004L
#define VFT_APP 0x00000001L
#define VFT2_UNKNOWN 0x00000000L
"""


def read_res(data):
    """The entries of a compiled .res file: {(type, name): bytes}, where
    type and name are numbers or strings."""
    def read_id(offset):
        if struct.unpack_from("<H", data, offset)[0] == 0xFFFF:
            return struct.unpack_from("<H", data, offset + 2)[0], offset + 4
        end = offset
        while struct.unpack_from("<H", data, end)[0] != 0:
            end += 2
        return data[offset:end].decode("utf-16-le"), end + 2

    entries = {}
    offset = 0
    while offset < len(data):
        data_size, header_size = struct.unpack_from("<II", data, offset)
        kind, after = read_id(offset + 8)
        name, _ = read_id(after)
        body = data[offset + header_size:offset + header_size + data_size]
        if data_size or kind != 0:  # the file starts with an empty entry
            entries[(kind, name)] = body
        offset += header_size + data_size
        offset += -offset % 4
    return entries


class WindowsResourceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which(WINDRES):
            raise unittest.SkipTest(WINDRES + " is not installed (binutils-mingw-w64-x86-64)")
        script = os.environ["QUORVEX_RC"]
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "winver.h"), "w") as header:
                header.write(WINVER_H)
            command = [WINDRES, "--preprocessor=cpp", "--preprocessor-arg=-P", "-I", folder,
                       "-I", os.path.dirname(script),
                       "-I", os.environ["QUORVEX_VERSION_HEADER_DIR"], "-i", script]
            output = os.path.join(folder, "quorvex.res")
            subprocess.run(command + ["-O", "res", "-o", output], check=True, timeout=60)
            with open(output, "rb") as stream:
                cls.entries = read_res(stream.read())
            # The same script as windres reads it, for the version record's text.
            cls.decompiled = subprocess.run(command + ["-O", "rc"], check=True, timeout=60,
                                            capture_output=True, encoding="utf-8",
                                            errors="replace").stdout

    def test_only_icon_group_1_its_image_30001_and_the_version(self):
        self.assertEqual(sorted(self.entries, key=repr),
                         sorted([(RT_GROUP_ICON, 1), (RT_ICON, 30001), (RT_VERSION, 1)],
                                key=repr))

    def test_group_names_its_single_24_bit_image(self):
        group = self.entries[(RT_GROUP_ICON, 1)]
        self.assertEqual(len(group), 6 + 14)
        self.assertEqual(struct.unpack_from("<HHH", group), (0, 1, 1))
        width, height, colours, _, planes, bits, size, image_id = struct.unpack_from(
            "<BBBBHHIH", group, 6)
        self.assertEqual((width, height, colours, planes, bits), (32, 32, 0, 1, 24))
        self.assertEqual(image_id, 30001)
        self.assertEqual(size, len(self.entries[(RT_ICON, 30001)]))

    def test_image_is_the_icon_without_transparency(self):
        image = self.entries[(RT_ICON, 30001)]
        header = struct.unpack_from("<IiiHHI", image)
        self.assertEqual(header, (40, 32, 64, 1, 24, 0))  # double height: colours, mask
        self.assertEqual(image[40 + 32 * 32 * 3:], bytes(32 * 4))  # all opaque
        with open(os.environ["QUORVEX_ICON_ICO"], "rb") as stream:
            self.assertEqual(image, stream.read()[6 + 16:])  # the .ico's one image

    def test_version_record_carries_the_build_version(self):
        record = self.decompiled[self.decompiled.index("VERSIONINFO"):]
        major, minor, patch, tweak = (int(part) for part in
                                      os.environ["QUORVEX_VERSION"].split("."))
        numbers = "%d, %d, %d, %d" % (major, minor, patch, tweak)
        text = "%d.%02d.%04d" % (major, minor, tweak)
        for key in ("FILEVERSION", "PRODUCTVERSION"):
            with self.subTest(key=key):
                self.assertEqual(re.findall(r"(?m)^\s*%s (.*)$" % key, record), [numbers])
        for key in ("FileVersion", "ProductVersion"):
            with self.subTest(key=key):
                self.assertEqual(re.findall(r'VALUE "%s", "([^"]*)"' % key, record), [text])


if __name__ == "__main__":
    unittest.main()

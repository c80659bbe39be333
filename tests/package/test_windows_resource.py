"""Compiles the Windows resource script with the MinGW resource compiler and
reads the compiled resources back: the icon group, its one image and the
version record.

Environment: QUORVEX_RC (the resource script) and QUORVEX_ICON_PNG (the icon
the window shows, which the executable's icon must match).
"""

import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

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


def png_pixels(path):
    """Rows of (r, g, b) of a non-interlaced 8-bit RGB PNG with unfiltered
    rows, as the picture script writes them."""
    with open(path, "rb") as stream:
        data = stream.read()
    offset, idat = 8, b""
    while offset < len(data):
        length, kind = struct.unpack_from(">I4s", data, offset)
        body = data[offset + 8:offset + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 2, 0), "not plain 8-bit RGB"
        elif kind == b"IDAT":
            idat += body
        offset += 12 + length
    raw = zlib.decompress(idat)
    stride = 1 + width * 3
    rows = []
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        assert line[0] == 0, "filtered row"
        rows.append([tuple(line[1 + 3 * x:4 + 3 * x]) for x in range(width)])
    return rows


class WindowsResourceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which(WINDRES):
            raise unittest.SkipTest(WINDRES + " is not installed (binutils-mingw-w64-x86-64)")
        script = os.environ["QUORVEX_RC"]
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "winver.h"), "w") as header:
                header.write(WINVER_H)
            output = os.path.join(folder, "quorvex.res")
            subprocess.run([WINDRES, "--preprocessor=cpp", "-I", folder,
                            "-I", os.path.dirname(script), "-i", script,
                            "-O", "res", "-o", output], check=True, timeout=60)
            with open(output, "rb") as stream:
                cls.entries = read_res(stream.read())

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

    def test_image_is_the_window_icon_without_transparency(self):
        image = self.entries[(RT_ICON, 30001)]
        header = struct.unpack_from("<IiiHHI", image)
        self.assertEqual(header, (40, 32, 64, 1, 24, 0))  # double height: colours, mask
        colours, mask = image[40:40 + 32 * 32 * 3], image[40 + 32 * 32 * 3:]
        self.assertEqual(mask, bytes(32 * 4))
        expected = png_pixels(os.environ["QUORVEX_ICON_PNG"])
        rows = [[tuple(reversed(colours[(31 - y) * 96 + 3 * x:(31 - y) * 96 + 3 * x + 3]))
                 for x in range(32)] for y in range(32)]  # bottom-up, BGR
        self.assertEqual(rows, expected)

    def test_version_record_is_there(self):
        record = self.entries[(RT_VERSION, 1)]
        fixed = record.find(struct.pack("<I", 0xFEEF04BD))
        self.assertGreater(fixed, 0)
        self.assertIn("040904B0".encode("utf-16-le"), record)


if __name__ == "__main__":
    unittest.main()

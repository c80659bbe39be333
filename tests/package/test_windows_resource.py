"""Reads the built Quorvex.exe back as Windows reads it: a 32-bit GUI
executable that needs only Windows' own DLLs, whose resources are the icon
group 1 with its one image 30001, the version record and the manifest.

Environment: QUORVEX_WINDOWS_EXE (the executable), QUORVEX_ICON_ICO (the
icon file drawn with the window's icon, whose image the executable must
hold) and QUORVEX_VERSION (the build's version). Run it with Debian's
/usr/bin/python3, which has python3-pefile.
"""

import os
import struct
import unittest

try:
    import pefile
except ImportError:  # reported by the test class
    pefile = None

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
# The DLLs of every Windows the program is for; no runtime of a compiler.
SYSTEM_DLLS = {"advapi32.dll", "bcrypt.dll", "comctl32.dll", "gdi32.dll", "gdiplus.dll",
               "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "user32.dll",
               "uxtheme.dll"}


class WindowsExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if pefile is None:
            raise unittest.SkipTest("python3-pefile is not installed")
        cls.pe = pefile.PE(os.environ["QUORVEX_WINDOWS_EXE"])
        cls.resources = {}
        for kind in cls.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for name in kind.directory.entries:
                for language in name.directory.entries:
                    entry = language.data.struct
                    cls.resources[(kind.id, name.id)] = cls.pe.get_data(
                        entry.OffsetToData, entry.Size)

    def test_32_bit_gui_program_without_build_time(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, IMAGE_FILE_MACHINE_I386)
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, 0x10B)  # PE32
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)
        self.assertEqual(self.pe.FILE_HEADER.TimeDateStamp, 0)
        # Address space layout randomization and no execution of data.
        self.assertEqual(self.pe.OPTIONAL_HEADER.DllCharacteristics & 0x140, 0x140)

    def test_imports_only_windows_own_dlls(self):
        imported = {entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertLessEqual(imported, SYSTEM_DLLS)
        self.assertIn("bcrypt.dll", imported)

    def test_only_icon_group_1_its_image_30001_the_version_and_the_manifest(self):
        self.assertEqual(sorted(self.resources), sorted(
            [(RT_ICON, 30001), (RT_GROUP_ICON, 1), (RT_VERSION, 1), (RT_MANIFEST, 1)]))

    def test_group_names_its_single_24_bit_image(self):
        group = self.resources[(RT_GROUP_ICON, 1)]
        self.assertEqual(len(group), 6 + 14)
        self.assertEqual(struct.unpack_from("<HHH", group), (0, 1, 1))
        width, height, colours, _, planes, bits, size, image_id = struct.unpack_from(
            "<BBBBHHIH", group, 6)
        self.assertEqual((width, height, colours, planes, bits), (32, 32, 0, 1, 24))
        self.assertEqual(image_id, 30001)
        self.assertEqual(size, len(self.resources[(RT_ICON, 30001)]))

    def test_image_is_the_icon_without_transparency(self):
        image = self.resources[(RT_ICON, 30001)]
        header = struct.unpack_from("<IiiHHI", image)
        self.assertEqual(header, (40, 32, 64, 1, 24, 0))  # double height: colours, mask
        self.assertEqual(image[40 + 32 * 32 * 3:], bytes(32 * 4))  # all opaque
        with open(os.environ["QUORVEX_ICON_ICO"], "rb") as stream:
            self.assertEqual(image, stream.read()[6 + 16:])  # the .ico's one image

    def test_version_record_carries_the_build_version(self):
        major, minor, patch, tweak = (int(part) for part in
                                      os.environ["QUORVEX_VERSION"].split("."))
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        numbers = ((major << 16) | minor, (patch << 16) | tweak)
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), numbers)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), numbers)
        self.assertEqual(fixed.FileType, 1)  # an application
        tables = [table for info in self.pe.FileInfo[0] if hasattr(info, "StringTable")
                  for table in info.StringTable]
        self.assertEqual([table.LangID for table in tables], [b"040904B0"])
        text = "%d.%02d.%04d" % (major, minor, tweak)
        self.assertEqual({k.decode(): v.decode() for k, v in tables[0].entries.items()}, {
            "FileDescription": "Quorvex.exe", "ProductName": "Quorvex", "FileVersion": text,
            "ProductVersion": text, "InternalName": "Quorvex",
            "OriginalFilename": "Quorvex.exe"})

    def test_manifest_asks_per_monitor_scaling_and_the_styled_controls(self):
        manifest = self.resources[(RT_MANIFEST, 1)].decode("utf-8")
        self.assertIn("PerMonitorV2", manifest)
        self.assertIn("Microsoft.Windows.Common-Controls", manifest)
        self.assertIn('level="asInvoker"', manifest)
        self.assertIn('version="%s"' % os.environ["QUORVEX_VERSION"], manifest)


if __name__ == "__main__":
    unittest.main()

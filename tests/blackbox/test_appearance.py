"""The built Quorvex on desktops set up the way people run them: qt6ct's
dark colour scheme, and a screen scaled to 200 %. What the screen shows is
read back with ImageMagick's `import`.
"""

import subprocess
import unittest

from desktop import CLIENT_SIZE, MainWindow, QuorvexTest, use_dark_scheme, wait_until

# Where the pictures are, in logical pixels of the window's inner area:
# left, top, width, height of the picture itself.
PICTURES = {
    "Password length:": (44, 120, 153, 21),
    "Password:": (20, 192, 91, 17),
    "Generate": (190, 155, 80, 16),  # centred in the 100 x 30 button at 180, 148
}


def luminance(rgb):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)))
    return (lb + 0.05) / (la + 0.05)


class Screen:
    """The pixels of a window's inner area, as the X server shows them."""

    def __init__(self, desktop, window):
        data = subprocess.run(["import", "-window", str(window), "-depth", "8", "ppm:-"], env=desktop.env,
                              capture_output=True, check=True, timeout=60).stdout
        fields = data.split(maxsplit=4)
        if fields[0] != b"P6" or fields[3] != b"255":
            raise AssertionError("unexpected picture from import: %r" % data[:20])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = fields[4][:self.width * self.height * 3]

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def region(self, left, top, width, height):
        return [self.pixel(x, y) for y in range(top, top + height)
                for x in range(left, left + width)]


def ink_and_paper(pixels):
    """The commonest colour (the paper) and the commonest of those clearly
    unlike it (the ink)."""
    counts = {}
    for p in pixels:
        counts[p] = counts.get(p, 0) + 1
    paper = max(counts, key=counts.get)
    unlike = {p: n for p, n in counts.items()
              if abs(luminance(p) - luminance(paper)) > 0.005}
    return (max(unlike, key=unlike.get) if unlike else paper), paper


class DarkSchemeTest(QuorvexTest):
    def test_pictures_read_at_4_5_to_1_on_qt6cts_darker(self):
        use_dark_scheme(self.desktop)
        main = self.start_main()
        self.assert_readable(self.wait_dark(main))

    def test_scheme_changed_while_running(self):
        use_dark_scheme(self.desktop, dark=False)
        main = self.start_main()
        light = Screen(self.desktop, main.window)
        self.assertGreater(luminance(light.pixel(2, 270)), 0.5)
        use_dark_scheme(self.desktop)  # qt6ct sees its file change
        self.assert_readable(self.wait_dark(main))

    def wait_dark(self, main):
        """The window's picture once the scheme has reached it."""
        def dark():
            screen = Screen(self.desktop, main.window)
            return screen if luminance(screen.pixel(2, 270)) < 0.05 else None
        return wait_until(dark, "the window drawn dark")

    def assert_readable(self, screen):
        for name, rect in PICTURES.items():
            with self.subTest(picture=name):
                ink, paper = ink_and_paper(screen.region(*rect))
                self.assertGreaterEqual(contrast(ink, paper), 4.5, (name, ink, paper))


class ScaledScreenTest(QuorvexTest):
    def test_window_and_shortcut_at_200_percent(self):
        self.desktop.env["QT_SCALE_FACTOR"] = "2"
        self.check_at_200_percent()

    def test_xft_dpi_192_scales_to_200_percent(self):
        # What desktops set for a dense screen: Xft.dpi in the X resources.
        self.desktop.run("xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set",
                         "RESOURCE_MANAGER", "Xft.dpi:\t192\n")
        self.check_at_200_percent()

    def check_at_200_percent(self):
        main = MainWindow(self.desktop, self.desktop.start_quorvex(), scale=2)
        main.focus()
        width, height = self.desktop.geometry(main.window)[2:]
        self.assertEqual((width, height), (2 * CLIENT_SIZE[0], 2 * CLIENT_SIZE[1]))
        main.generate("20", 4)
        self.assert_password(main.copy_output(), 20, 4)


class WindowIconTest(QuorvexTest):
    def test_window_manager_gets_the_icon_in_several_sizes(self):
        main = self.start_main()
        text = self.desktop.run("xprop", "-id", str(main.window), "-notype", "32c",
                                "_NET_WM_ICON").stdout
        values = [int(v) for v in text.partition("=")[2].replace(",", " ").split()]
        sizes = []
        while values:  # width, height, then width x height ARGB pixels
            width, height = values[:2]
            # The light grey ground, opaque, in the bottom left corner.
            self.assertEqual(values[2 + (height - 1) * width], 0xFFC0C0C0, (width, height))
            sizes.append((width, height))
            values = values[2 + width * height:]
        self.assertEqual(sizes, [(16, 16), (24, 24), (32, 32), (48, 48)])


if __name__ == "__main__":
    unittest.main()

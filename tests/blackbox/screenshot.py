"""Takes a picture of the Quorvex window with a fresh 24-character password.

Usage: screenshot.py [--dark] [--scale FACTOR] QUORVEX_EXECUTABLE OUTPUT.png

--dark: qt6ct's "darker" colour scheme with the Fusion style.
--scale: the program's QT_SCALE_FACTOR, as on a screen of more pixels.
"""

import argparse
import contextlib
import os
import time

from desktop import Desktop, MainWindow, use_dark_scheme


class _Owner:
    """Ends what the desktop starts once the picture is taken."""

    def __init__(self, stack):
        self.addCleanup = stack.callback


def take(executable, output, dark=False, scale=1):
    with contextlib.ExitStack() as stack:
        desktop = Desktop(_Owner(stack), executable)
        if dark:
            use_dark_scheme(desktop)
        if scale != 1:
            desktop.env["QT_SCALE_FACTOR"] = "%g" % scale
        main = MainWindow(desktop, desktop.start_quorvex(), scale)
        main.focus()
        desktop.type("24")
        main.press_generate()
        password = main.copy_output()
        if len(password) != 24:
            raise SystemExit("the program made %r, not 24 characters" % password)
        desktop.key("End")  # nothing selected
        time.sleep(0.5)  # time to repaint
        os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
        x, y, width, height = desktop.geometry(main.window)
        desktop.run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                    "+repage", os.path.abspath(output))
    print("wrote %s (%dx%d)" % (output, width, height))


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dark", action="store_true")
    parser.add_argument("--scale", type=float, default=1)
    parser.add_argument("executable")
    parser.add_argument("output")
    args = parser.parse_args()
    take(os.path.abspath(args.executable), args.output, args.dark, args.scale)

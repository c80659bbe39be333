"""Takes a picture of the Quorvex window with a freshly made password.

Usage: screenshot.py QUORVEX_EXECUTABLE OUTPUT.png

Starts the program on a private virtual X server, types a length of 24,
presses the button and saves the window, cropped to its own area, as PNG.
"""

import contextlib
import os
import sys
import time

from desktop import Desktop, MainWindow

LENGTH = "24"


class _Owner:
    """Ends what the desktop starts when the picture is taken."""

    def __init__(self, stack):
        self._stack = stack

    def addCleanup(self, function, *args, **kwargs):
        self._stack.callback(function, *args, **kwargs)


def take(executable, output):
    with contextlib.ExitStack() as stack:
        desktop = Desktop(_Owner(stack), executable)
        main = MainWindow(desktop, desktop.start_quorvex())
        main.focus()
        desktop.type(LENGTH)
        main.press_generate()
        password = main.copy_output()
        if len(password) != int(LENGTH):
            raise SystemExit("the program made %r, not %s characters" % (password, LENGTH))
        # Leave nothing selected, and give the window a moment to repaint.
        desktop.key("End")
        time.sleep(0.5)

        os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
        x, y, width, height = desktop.geometry(main.window)
        desktop.run("import", "-window", "root",
                    "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage",
                    os.path.abspath(output))
    print("wrote %s (%dx%d)" % (output, width, height))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    take(os.path.abspath(sys.argv[1]), sys.argv[2])

"""Takes a picture of the Quorvex window with a fresh 24-character password.

Usage: screenshot.py QUORVEX_EXECUTABLE OUTPUT.png
"""

import contextlib
import os
import sys
import time

from desktop import Desktop, MainWindow


class _Owner:
    """Ends what the desktop starts once the picture is taken."""

    def __init__(self, stack):
        self.addCleanup = stack.callback


def take(executable, output):
    with contextlib.ExitStack() as stack:
        desktop = Desktop(_Owner(stack), executable)
        main = MainWindow(desktop, desktop.start_quorvex())
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
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    take(os.path.abspath(sys.argv[1]), sys.argv[2])

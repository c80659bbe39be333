"""The built Quorvex as a screen reader finds it on the AT-SPI bus.

The script runs itself again inside a private session bus (dbus-run-session)
with Debian's own python3, where the pyatspi bindings live. There it starts
the accessibility bus (at-spi-bus-launcher), turns the screen reader flag on
as a screen reader does, and starts the program on an Xvfb screen. From then
on the window is driven through AT-SPI alone: the interfaces Orca uses. One
test runs Orca itself and checks what it says.
"""

import json
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SYSTEM_PYTHON = "/usr/bin/python3"
RUN_SESSION = "/usr/bin/dbus-run-session"
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
ORCA = "/usr/bin/orca"
IN_PRIVATE_SESSION = "QUORVEX_A11Y_PRIVATE_SESSION"

if __name__ == "__main__" and os.environ.get(IN_PRIVATE_SESSION) != "1":
    missing = [path for path in (SYSTEM_PYTHON, RUN_SESSION, BUS_LAUNCHER, ORCA)
               if not os.access(path, os.X_OK)]
    if missing:
        sys.exit("missing %s: install python3-pyatspi, dbus-daemon, at-spi2-core and orca"
                 % ", ".join(missing))
    os.environ[IN_PRIVATE_SESSION] = "1"
    # pyatspi calls deprecated parts of its own bindings at every step.
    os.execv(RUN_SESSION, [RUN_SESSION, "--", SYSTEM_PYTHON, "-B",
                           "-W", "ignore::DeprecationWarning", "-W", "ignore::ImportWarning",
                           os.path.abspath(__file__)] + sys.argv[1:])

from desktop import (ERROR_TITLE, WARNING_TITLE, QuorvexTest, end_process,  # noqa: E402
                     end_process_group, wait_until)

pyatspi = None  # imported once the accessibility bus runs
GLib = None
Gio = None

CAPTIONS = ["0-9", "a-z A-Z 0-9", "a-z A-Z 0-9 !@#$%^&*()_+;:,.-*",
            "a-z A-Z 0-9 !@#$%^&*()_+;:,.-* =[]{}'<>/?\\|`~"]
LENGTH_ERROR = "Password length must be a number from 1 to 32766 inclusive."
LONG_LENGTH_WARNING = (
    "The password length is too big, the program may stop responding for some time or even "
    "forever! If you still want to continue press ''Yes'', else press ''No'' and enter password "
    "length smaller than 1000.")
SET_WORDS = ["digits", "letters and digits", "letters, digits and 17 symbols",
             "letters, digits and 31 symbols"]

# What a screen reader walks: role, name, description and children, in
# reading order. The four hidden labels are not in it. Roles are named by
# pyatspi's constants and compared by value, as readers compare them: the
# text of a role's name differs between releases of AT-SPI ("push button",
# "button").
EXPECTED_TREE = (
    "ROLE_FRAME", "Quorvex", "", [
        ("ROLE_PANEL", "Character set", "", [
            ("ROLE_RADIO_BUTTON", caption, words, [])
            for caption, words in zip(CAPTIONS, SET_WORDS)]),
        ("ROLE_LABEL", "Password length:", "", []),
        ("ROLE_TEXT", "Password length", "", []),
        ("ROLE_PUSH_BUTTON", "Generate", "Makes a new password of the chosen length", []),
        ("ROLE_PANEL", "", "", [
            ("ROLE_LABEL", "Password:", "", []),
            ("ROLE_TEXT", "Password", "", []),
        ]),
    ])


def start_accessibility_bus(test):
    """Starts the accessibility bus of this session and turns the screen
    reader flag on; imports pyatspi, which then finds that bus."""
    global pyatspi, GLib, Gio
    folder = tempfile.mkdtemp(prefix="quorvex-a11y-")
    test.addClassCleanup(shutil.rmtree, folder, True)
    # The launcher keeps the flag in GSettings: in memory, not in the user's
    # dconf. Its socket goes into a folder of this run, and it gets no X
    # screen, which it could outlive.
    env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR=folder, GSETTINGS_BACKEND="memory")
    env.pop("DISPLAY", None)
    launcher = subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"], env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
    # With the accessibility bus it started.
    test.addClassCleanup(end_process_group, launcher)

    from gi.repository import Gio as gio, GLib as glib  # noqa: E402
    GLib, Gio = glib, gio
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def call(interface, method, signature, *args):
        return bus.call_sync("org.a11y.Bus", "/org/a11y/bus", interface, method,
                             GLib.Variant(signature, args) if signature else None,
                             None, Gio.DBusCallFlags.NO_AUTO_START, 5000, None).unpack()

    def bus_address():
        try:
            return call("org.a11y.Bus", "GetAddress", None)[0]
        except GLib.Error:
            return None

    wait_until(bus_address, "the accessibility bus")
    for flag in ("ScreenReaderEnabled", "IsEnabled"):
        call("org.freedesktop.DBus.Properties", "Set", "(ssv)", "org.a11y.Status", flag,
             GLib.Variant("b", True))
    status = [call("org.freedesktop.DBus.Properties", "Get", "(ss)", "org.a11y.Status", flag)[0]
              for flag in ("ScreenReaderEnabled", "IsEnabled")]
    if status != [True, True]:
        raise AssertionError("the screen reader flag stays off: %r" % status)
    import pyatspi as atspi  # noqa: E402
    pyatspi = atspi
    # The accessibility bus itself, where the registry tells who listens.
    test.accessibility_bus = Gio.DBusConnection.new_for_address_sync(
        call("org.a11y.Bus", "GetAddress", None)[0],
        Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
        | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)


def children(accessible):
    return [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]


def descendants(accessible):
    for child in children(accessible):
        yield child
        yield from descendants(child)


def has(accessible, state):
    return accessible.getState().contains(state)


def tree_of(accessible):
    return (accessible.getRole(), accessible.name, accessible.description,
            [tree_of(child) for child in children(accessible)])


def with_role_values(tree):
    role, name, description, kids = tree
    return (getattr(pyatspi, role), name, description, [with_role_values(k) for k in kids])


def relation_targets(accessible, relation_type):
    return [relation.getTarget(i) for relation in accessible.getRelationSet()
            if relation.getRelationType() == relation_type
            for i in range(relation.getNTargets())]


def do_action(accessible, *names):
    """Runs the first action of the accessible named one of names."""
    action = accessible.queryAction()
    offered = [action.getName(i).lower() for i in range(action.nActions)]
    chosen = [i for i, name in enumerate(offered) if name in names]
    if not chosen or not action.doAction(chosen[0]):
        raise AssertionError("%r: no %r among %r" % (accessible.name, names, offered))


def whole_text(accessible):
    return accessible.queryText().getText(0, -1)


class AccessibilityTest(QuorvexTest):
    @classmethod
    def setUpClass(cls):
        start_accessibility_bus(cls)

    def setUp(self):
        super().setUp()
        # The bridge must come on through the screen reader flag alone.
        for name in ("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "QT_ACCESSIBILITY", "NO_AT_BRIDGE"):
            self.desktop.env.pop(name, None)
        self.main = self.start_main()
        self.app = wait_until(self.find_application, "Quorvex on the AT-SPI bus")
        self.frame = wait_until(lambda: self.app.childCount == 1 and self.app.getChildAtIndex(0),
                                "the window on the AT-SPI bus")
        wait_until(lambda: self.frame.childCount == 5, "the controls on the AT-SPI bus")
        (self.group, self.length_label, self.length_box, self.button,
         self.output_frame) = children(self.frame)
        self.options = children(self.group)
        self.output_label, self.output_box = children(self.output_frame)

    def find_application(self):
        for app in children(pyatspi.Registry.getDesktop(0)):
            try:
                if app is not None and app.get_process_id() == self.main.process.pid:
                    return app
            except GLib.Error:
                pass  # an application going away
        return None

    def generate(self, length_text, option):
        """Types the length, picks the set and presses the button, all
        through AT-SPI."""
        self.length_box.queryEditableText().setTextContents(length_text)
        do_action(self.options[option - 1], "toggle", "press", "click")
        do_action(self.button, "press", "click")

    def checked(self):
        return [option.name for option in self.options if has(option, pyatspi.STATE_CHECKED)]

    def test_names_roles_group_relations_and_states(self):
        self.assertEqual(tree_of(self.frame), with_role_values(EXPECTED_TREE))
        # Every child knows its place, so a reader can walk up as well as down.
        for parent in [self.app] + list(descendants(self.app)):
            for index, child in enumerate(children(parent)):
                self.assertEqual((child.parent, child.getIndexInParent()), (parent, index))
        for label, box in ((self.length_label, self.length_box),
                           (self.output_label, self.output_box)):
            self.assertEqual(relation_targets(box, pyatspi.RELATION_LABELLED_BY), [label])
            self.assertEqual(relation_targets(label, pyatspi.RELATION_LABEL_FOR), [box])

        self.assertEqual(self.checked(), [CAPTIONS[1]])
        self.assertTrue(has(self.length_box, pyatspi.STATE_FOCUSED))
        self.assertTrue(has(self.length_box, pyatspi.STATE_EDITABLE))
        self.assertTrue(has(self.output_box, pyatspi.STATE_READ_ONLY))
        self.assertFalse(has(self.output_box, pyatspi.STATE_EDITABLE))
        focusable = [a.name for a in descendants(self.frame) if has(a, pyatspi.STATE_FOCUSABLE)]
        self.assertEqual(focusable, CAPTIONS + ["Password length", "Generate", "Password"])

    def test_length_read_whole_wherever_the_caret_is(self):
        # Orca builds the text it reads from the attribute runs: each run
        # must hold its offset and lie within the text.
        text = self.length_box.queryText()
        for length_text in ("12", "2000", "0"):
            self.length_box.queryEditableText().setTextContents(length_text)
            wait_until(lambda: whole_text(self.length_box) == length_text, length_text)
            for caret in range(len(length_text) + 1):
                text.setCaretOffset(caret)
                runs = [tuple(text.getAttributeRun(offset, False)[1:])
                        for offset in range(len(length_text))]
                with self.subTest(text=length_text, caret=caret):
                    self.assertEqual(text.caretOffset, caret)
                    for offset, (start, end) in enumerate(runs):
                        self.assertTrue(0 <= start <= offset < end <= len(length_text), runs)

    def start_orca(self):
        """Starts Orca, speaking positions in groups, and waits until it has
        read the window and follows the focus. Its debug output, with what it
        says, goes to a terminal so that it comes line by line."""
        prefs = os.path.join(self.desktop.folder, "orca")
        os.mkdir(prefs)
        general = {"enablePositionSpeaking": True, "activeProfile": ["Default", "default"]}
        with open(os.path.join(prefs, "user-settings.conf"), "w", encoding="utf-8") as conf:
            json.dump({"general": general, "pronunciations": {}, "keybindings": {},
                       "profiles": {"default": dict(general, profile=["Default", "default"])}},
                      conf)
        output, terminal = pty.openpty()
        self.addCleanup(os.close, terminal)
        self.orca_said = []
        self.orca_wrote = time.monotonic()

        def listen():
            with os.fdopen(output, "rb") as lines:
                try:
                    for line in lines:
                        self.orca_wrote = time.monotonic()
                        said = re.search(rb"SPEECH OUTPUT: '(.*?)'( ?[\[{].*)?\s*$", line)
                        if said:
                            self.orca_said.append(said.group(1).decode(errors="replace"))
                except OSError:
                    pass  # Orca has ended
        threading.Thread(target=listen, daemon=True).start()

        def launch():
            orca = subprocess.Popen([ORCA, "--user-prefs", prefs, "--debug-file",
                                     os.ttyname(terminal), "--disable", "braille"],
                                    env=dict(self.desktop.env, LC_ALL="C.UTF-8", LANGUAGE=""),
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, start_new_session=True)
            # With the speech services it starts.
            self.addCleanup(end_process_group, orca)
            return orca
        orcas = [launch()]

        def reads_the_window():
            # Orca ends at once while another Orca of the same user runs,
            # such as one of a test run beside this one: it starts again once
            # that one has ended.
            if orcas[-1].poll() is not None:
                orcas.append(launch())
                return False
            return any(words.startswith(self.length_label.name) for words in self.orca_said)
        wait_until(reads_the_window, "Orca to read the window", timeout=120)
        # Orca reads the window before it asks for focus changes, and the
        # program sends them only once someone has asked: a key pressed
        # before then moves the focus unheard.
        wait_until(self.orca_follows_focus, "Orca to follow the focus")
        # The registry told the program of the new listener before answering
        # above; a question to the program now reaches it after that news.
        self.length_box.getState()

    def orca_follows_focus(self):
        events = self.accessibility_bus.call_sync(
            "org.a11y.atspi.Registry", "/org/a11y/atspi/registry", "org.a11y.atspi.Registry",
            "GetRegisteredEvents", None, None, Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
        # Releases of AT-SPI spell event names differently
        # ("object:state-changed:focused", "Object:StateChanged:Focused").
        return any(re.sub("[^a-z]", "", event.lower()) == "objectstatechangedfocused"
                   for _, event in events)

    def orca_says(self, key, heard_first, then=""):
        """Presses key and gives what Orca says first after something that
        heard_first accepts, matching the regular expression then; with then
        None, the words heard_first accepts. Returns once Orca has handled
        what else the key brought."""
        start = len(self.orca_said)
        self.desktop.key(key)

        def answer():
            said = self.orca_said[start:]
            first = next((i for i, words in enumerate(said) if heard_first(words)), len(said))
            if then is None:
                return said[first] if first < len(said) else None
            return next((words for words in said[first + 1:] if re.match(then, words)), None)
        words = wait_until(answer, "Orca to speak after %s" % key)
        # Orca handles some news after speaking: a text change, or the box's
        # selection going as the focus leaves it. Handled after the next key
        # has moved the focus, such news can pass for the focus coming back,
        # which Orca then takes silently; so the next key waits until Orca's
        # debug output has gone quiet.
        wait_until(lambda: time.monotonic() - self.orca_wrote > 0.3, "Orca to go quiet")
        return words

    def test_orca_hears_the_length_whole_and_the_options_numbered(self):
        self.start_orca()
        # Qt tells a reader that a control lost the focus only after it has
        # told that reader the control got it. The box had the focus before
        # Orca came, so after the first Tab Orca would still take it for
        # focused, and take the news of its selection going for the focus
        # coming back: returning to the box would then say nothing. Once
        # round the focus first, as a user looking round the window goes.
        self.orca_says("Tab", lambda words: words.startswith(self.button.name))
        self.orca_says("shift+Tab", lambda words: words.startswith(self.length_label.name), None)
        for length_text in ("12", "2000", "0"):
            self.length_box.queryEditableText().setTextContents(length_text)
            wait_until(lambda: whole_text(self.length_box) == length_text, length_text)
            self.orca_says("Tab", lambda words: words.startswith(self.button.name))
            # Back in the box, the words after its label begin with its text.
            words = self.orca_says("shift+Tab", lambda w: w.startswith(self.length_label.name))
            self.assertEqual(re.match(r"\d*", words).group(), length_text, words)
        # Shift+Tab again reaches the chosen option, Down the next one. Orca
        # may say the option's state and role after its caption, and its
        # description after the place; a caption can begin with a smaller
        # set's, so the longest one the words begin with names the option.
        def caption_of(words):
            return max((c for c in CAPTIONS if words.startswith(c)), key=len, default=None)
        for key, option in (("shift+Tab", 1), ("Down", 2)):
            position = self.orca_says(key, lambda w: caption_of(w) == CAPTIONS[option],
                                      r"\d+ of \d+\b")
            self.assertEqual(re.match(r"\d+ of \d+\b", position).group(),
                             "%d of 4" % (option + 1), position)

    def test_password_made_read_and_selected_through_atspi_alone(self):
        self.generate("12", 3)
        password = wait_until(lambda: whole_text(self.output_box), "a password")
        self.assert_password(password, 12, 3)
        self.assertEqual(self.checked(), [CAPTIONS[2]])
        text = self.output_box.queryText()
        self.assertEqual((text.characterCount, text.getText(3, 7)), (12, password[3:7]))
        text.setSelection(0, 0, 12)
        self.assertEqual((text.getNSelections(), tuple(text.getSelection(0))), (1, (0, 12)))
        # The selection is the box's own: Ctrl+C in the box copies it.
        self.assertTrue(self.output_box.queryComponent().grabFocus())
        wait_until(lambda: has(self.output_box, pyatspi.STATE_FOCUSED), "the box's focus")
        marker = self.desktop.new_sentinel()
        self.desktop.key("ctrl+c")
        self.assertEqual(self.desktop.changed_selection(marker), password)

    def test_output_box_refuses_writing(self):
        self.generate("12", 3)
        password = wait_until(lambda: whole_text(self.output_box), "a password")
        self.output_box.queryText().setSelection(0, 2, 6)
        self.assertNotIn("EditableText", self.output_box.get_interfaces())
        with self.assertRaises(NotImplementedError):
            self.output_box.queryEditableText()
        # Asked directly, past what the box says it offers, the box still
        # refuses every write. Qt's bridge answers such a call with success
        # whatever happens, so the text itself is the judge.
        from gi.repository import Atspi  # noqa: E402
        self.desktop.new_sentinel()  # something a paste could bring in
        box = self.output_box
        for write in (lambda: Atspi.EditableText.set_text_contents(box, "written"),
                      lambda: Atspi.EditableText.insert_text(box, 0, "ab", 2),
                      lambda: Atspi.EditableText.delete_text(box, 0, 12),
                      lambda: Atspi.EditableText.cut_text(box, 2, 6),
                      lambda: Atspi.EditableText.paste_text(box, 0)):
            try:
                write()
            except GLib.Error:
                pass  # refused in so many words
            self.assertEqual(whole_text(box), password)
        self.assertEqual(tuple(box.queryText().getSelection(0)), (2, 6))

    def test_message_boxes_are_alerts_that_read(self):
        # Length, title, prompt, buttons and the one with the focus.
        for length, title, prompt, names, focused in (
                ("0", ERROR_TITLE, LENGTH_ERROR, ["OK"], "OK"),
                ("1000", WARNING_TITLE, LONG_LENGTH_WARNING, ["Yes", "No"], "No")):
            with self.subTest(length=length):
                self.generate(length, 1)
                alerts = wait_until(lambda: [a for a in children(self.app) if a is not None
                                             and a.getRole() == pyatspi.ROLE_ALERT],
                                    "an alert on the AT-SPI bus")
                self.assertEqual([alert.name for alert in alerts], [title])
                inside = list(descendants(alerts[0]))
                self.assertIn(prompt, [a.name for a in inside if a.getRole() == pyatspi.ROLE_LABEL])
                buttons = [a for a in inside if a.getRole() == pyatspi.ROLE_PUSH_BUTTON]
                self.assertEqual([button.name for button in buttons], names)
                wait_until(lambda: [b.name for b in buttons
                                    if has(b, pyatspi.STATE_FOCUSED)] == [focused],
                           "the %s button to have the focus" % focused)
                do_action(buttons[names.index(focused)], "press", "click")
                wait_until(lambda: not self.desktop.windows(title), "the alert to close")
                self.assertEqual(whole_text(self.output_box), "")


if __name__ == "__main__":
    unittest.main()

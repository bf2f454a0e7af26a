#!/usr/bin/python3
"""The front end read and worked through the accessibility bus (AT-SPI), as a screen
reader such as Orca reads and works it, on a private desktop.

    private-desktop --accessibility -- /usr/bin/python3 a11y_window.py x11 FRONT_END STAND_IN
    private-desktop --wayland --accessibility -- /usr/bin/python3 a11y_window.py wayland ...

x11 runs the front end on the X server, wayland natively on the Wayland compositor that
tests/gui/private-desktop started with the session bus and the accessibility bus. The
recording stand-in is put beside the front end as its tarnwick, so the test sees exactly
what a press of "Assemble !" started.

Run it with Debian's Python, which has python3-pyatspi.
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

CAPTION = 'Handy tarnwick arm add-on'
SOURCE_LABEL = 'Input file:'
OUTPUT_LABEL = 'Name output file: (.gba is automatically added)'

# Every wait is a poll with this bound: a fully loaded machine may take long, but a
# test that waits forever helps no one.
DEADLINE = 60.0

pyatspi = None  # imported once the environment is known to have an accessibility bus


def poll(what, condition, timeout=DEADLINE, seen=None):
    """Returns condition()'s first true result; fails once the bound has run out, saying
    what seen() last returned.

    A failed call on the bus counts as "not yet": the front end may be busy."""
    deadline = time.monotonic() + timeout
    problem = ''
    while True:
        try:
            result = condition()
            if result:
                return result
        except Exception as error:  # a D-Bus error from a busy or vanishing peer
            if isinstance(error, AssertionError):
                raise
            problem = f' (last error: {error})'
        if time.monotonic() > deadline:
            if seen is not None:
                problem += f' (last seen: {seen()!r})'
            raise AssertionError(f'waited {timeout:.0f} s in vain for {what}{problem}')
        time.sleep(0.05)


class FrontEnd:
    """The front end, installed beside the recording stand-in in a folder of its own, on
    the private desktop and found on its accessibility bus."""

    def __init__(self, platform, front_end, stand_in):
        self.folder = tempfile.mkdtemp(prefix='tarnwick-a11y-')
        bin_dir = os.path.join(self.folder, 'bin')
        os.makedirs(bin_dir)
        program = shutil.copy2(front_end, os.path.join(bin_dir, 'tarnwick-addon'))
        shutil.copy2(stand_in, os.path.join(bin_dir, 'tarnwick'))
        self.records = os.path.join(self.folder, 'records')
        self.work = os.path.join(self.folder, 'work')
        os.makedirs(self.records)
        os.makedirs(self.work)

        env = dict(os.environ)
        # As a desktop launch may give it: a short PATH, and the accessibility bus to be
        # found through the session bus, as a desktop session announces it. (Qt 6.4 given
        # AT_SPI_BUS_ADDRESS connects to that bus but never registers the application.)
        env.pop('AT_SPI_BUS_ADDRESS', None)
        env['PATH'] = '/usr/bin:/bin'
        env['LANG'] = 'C.UTF-8'
        env['QT_QPA_PLATFORM'] = 'xcb' if platform == 'x11' else 'wayland'
        env['QT_LINUX_ACCESSIBILITY_ALWAYS_ON'] = '1'
        env['RECORDER_DIR'] = self.records
        # In this test's process group, which the starter ends should the test be cut short.
        self.process = subprocess.Popen([program], env=env, cwd=self.work,
                                        stdin=subprocess.DEVNULL, stdout=sys.stderr)
        try:
            self.app = poll('the front end on the accessibility bus', self._application)
        except BaseException:
            self.close()  # no one else will: setUp did not get to register it
            raise

    def _application(self):
        self.check_alive()
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def check_alive(self):
        code = self.process.poll()
        if code is not None:
            raise AssertionError(f'the front end ended with status {code}')

    def window(self):
        # Found by its name alone: what it presents itself as is for the test to judge.
        return next((c for c in self.app if c is not None and c.name == CAPTION), None)

    def wait(self, what, condition, seen=None):
        def alive_and(condition=condition):
            self.check_alive()
            return condition()
        return poll(what, alive_and, seen=seen)

    def read_records(self):
        records = []
        for name in sorted(os.listdir(self.records)):
            if name.endswith('.json'):
                with open(os.path.join(self.records, name)) as record:
                    records.append(json.load(record))
        return records

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def text_of(accessible):
    return accessible.queryText().getText(0, -1)


def press(accessible):
    action = accessible.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    if not action.doAction(names.index('press')):
        raise AssertionError(f'"{accessible.name}" refused to be pressed')


def targets(accessible, relation_type):
    found = []
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == relation_type:
            found += [relation.getTarget(i) for i in range(relation.getNTargets())]
    return [(t.getRoleName(), t.name) for t in found]


def descendant(root, role, name=None):
    """The first accessible below root with that role name and, if given, that name."""
    return pyatspi.findDescendant(
        root, lambda a: a is not None and a.getRoleName() == role and name in (None, a.name))


def find(root, role, name=None):
    found = descendant(root, role, name)
    if found is None:
        raise AssertionError(f'no {role} named "{name}" in "{root.name}"')
    return found


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


class AccessibleWindow(unittest.TestCase):
    platform = None
    front_end_program = None
    stand_in_program = None

    def setUp(self):
        self.front_end = FrontEnd(self.platform, self.front_end_program, self.stand_in_program)
        self.addCleanup(self.front_end.close)
        self.window = self.front_end.wait('the window', self.front_end.window)

    def test_window_and_controls_are_announced_by_role_and_name(self):
        label, text, button = 'label', 'text', 'push button'
        # Top to bottom: role, name, and the label that names a text box. None as a name
        # stands for any caption that is not empty (the credit line's wording is free).
        expected = [
            (button, 'Browse', None),
            (label, SOURCE_LABEL, None),
            (text, SOURCE_LABEL, SOURCE_LABEL),
            (label, OUTPUT_LABEL, None),
            (text, OUTPUT_LABEL, OUTPUT_LABEL),
            (button, 'Assemble !', None),
            (label, None, None),
        ]

        self.assertEqual(self.window.getRoleName(), 'frame')
        self.assertEqual(len(list(self.front_end.app)), 1)
        controls = list(self.window)
        self.assertEqual(len(controls), len(expected))
        for control, (role, name, labelled_by) in zip(controls, expected):
            with self.subTest(control=control.name):
                self.assertEqual(control.getRoleName(), role)
                if name is None:
                    self.assertTrue(control.name)
                else:
                    self.assertEqual(control.name, name)
                self.assertEqual(targets(control, pyatspi.RELATION_LABELLED_BY),
                                 [(label, labelled_by)] if labelled_by else [])
                if role == label and name in (SOURCE_LABEL, OUTPUT_LABEL):
                    self.assertEqual(targets(control, pyatspi.RELATION_LABEL_FOR),
                                     [(text, name)])

    def test_boxes_filled_open_dialog_worked_and_assemble_pressed(self):
        folder = os.path.join(self.front_end.work, 'My Projects')
        os.makedirs(folder)
        source = os.path.join(folder, 'demo.asm')
        open(source, 'w').close()
        text1 = find(self.window, 'text', SOURCE_LABEL)
        text2 = find(self.window, 'text', OUTPUT_LABEL)
        text1.queryEditableText().setTextContents('typed first')
        text2.queryEditableText().setTextContents('demo')
        def both():
            return text_of(text1), text_of(text2)
        self.front_end.wait('both texts', lambda: both() == ('typed first', 'demo'), both)

        press(find(self.window, 'push button', 'Browse'))
        dialog = self.front_end.wait('the Open dialog', lambda: next(
            (c for c in self.front_end.app
             if c.getRole() == pyatspi.ROLE_DIALOG and showing(c)), None))
        # On Linux Qt names a combo box by its current entry.
        file_type = self.front_end.wait('the file-type list on text files', lambda: descendant(
            dialog, 'combo box', 'Text Files(*.txt)'))
        self.assertEqual([item.name for item in file_type[0]],
                         ['All Files (*.*)', 'Text Files(*.txt)', 'Assembly files(*.asm)'])
        name_box = find(dialog, 'text', 'File name:')
        name_box.queryEditableText().setTextContents(source)
        open_button = find(dialog, 'push button', 'Open')
        self.front_end.wait('the Open button to take the name', lambda: open_button.getState()
                            .contains(pyatspi.STATE_ENABLED))
        press(open_button)
        self.front_end.wait('the dialog to close', lambda: not showing(dialog))
        self.front_end.wait('the chosen path in the source box',
                            lambda: both() == (source, 'demo'), both)

        press(find(self.window, 'push button', 'Assemble !'))
        records = self.front_end.wait('the assembler to be started', self.front_end.read_records)
        self.assertEqual(len(records), 1)
        self.assertEqual(records[0]['arguments'][1:], [source, 'demo.gba'])
        self.assertEqual(records[0]['cwd'], os.path.realpath(folder))
        self.front_end.check_alive()


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ('x11', 'wayland'):
        print(__doc__, file=sys.stderr)
        return 2
    platform, AccessibleWindow.front_end_program, AccessibleWindow.stand_in_program = sys.argv[1:]
    AccessibleWindow.platform = platform
    needed = ('PRIVATE_DESKTOP', 'DISPLAY' if platform == 'x11' else 'WAYLAND_DISPLAY',
              'AT_SPI_BUS_ADDRESS')
    missing = [name for name in needed if not os.environ.get(name)]
    if missing:
        print(f'a11y_window: {" and ".join(missing)} not set: run it under '
              'tests/gui/private-desktop, as CTest does', file=sys.stderr)
        return 2

    # Ended from outside (a test timeout, Ctrl+C), the test still ends the front end.
    # Only an interrupt passes through unittest, which takes any other exception for a
    # failed test and goes on with the next.
    def interrupt(number, frame):
        raise KeyboardInterrupt(f'ended by signal {number}')
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, interrupt)

    # The client talks to the accessibility bus of the environment and to no other.
    global pyatspi
    import pyatspi as module
    pyatspi = module
    # Calls wait for a busy front end as long as the other waits do.
    pyatspi.setTimeout(int(DEADLINE * 1000), int(DEADLINE * 1000))
    try:
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(AccessibleWindow)
        result = unittest.TextTestRunner(verbosity=2).run(suite)
        return 0 if result.wasSuccessful() else 1
    except KeyboardInterrupt as interruption:
        print(interruption, file=sys.stderr)
        return 1


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/python3
"""The front end read and worked through the accessibility bus (AT-SPI), as a screen
reader such as Orca reads and works it, on a display server of the test's own.

    /usr/bin/python3 a11y_window.py x11|wayland FRONT_END STAND_IN

x11 runs the front end on Xvfb; wayland runs it natively under mutter's headless
compositor. Either way the test starts its own session bus, accessibility bus and
runtime folder, and ends every process it started on every way out. The recording
stand-in is put beside the front end as its tarnwick, so the test sees exactly what a
press of "Assemble !" started.

Run it with Debian's Python, which has python3-pyatspi.
"""

import ctypes
import json
import os
import select
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

PR_SET_PDEATHSIG = 1
PR_SET_CHILD_SUBREAPER = 36
_libc = ctypes.CDLL(None, use_errno=True)

pyatspi = None  # imported once the private accessibility bus is up (see Desktop)


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


def _die_with_parent():
    # If the test itself is killed, its servers end with it, and end what they started
    # themselves (the launcher its bus).
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def _children():
    pids = []
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            with open(f'/proc/{entry}/stat') as stat:
                fields = stat.read().rsplit(')', 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == os.getpid():
            pids.append(int(entry))
    return pids


class Processes:
    """Processes started in sessions of their own, each logging to a file, and ended
    together with whatever they left behind."""

    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.started = []

    def start(self, name, argv, env, cwd=None, pass_fds=()):
        with open(os.path.join(self.log_dir, name + '.log'), 'ab') as log:
            process = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                       stdout=log, stderr=subprocess.STDOUT,
                                       pass_fds=pass_fds, start_new_session=True,
                                       preexec_fn=_die_with_parent)
        self.started.append(process)
        return process

    def end(self, process):
        if process in self.started:
            self.started.remove(process)
        if process.returncode is not None:
            return  # what it left behind is swept up in end_all
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                pass
            try:
                process.wait(timeout=10)
                return
            except subprocess.TimeoutExpired:
                continue

    def end_all(self):
        for process in reversed(self.started):
            self.end(process)
        self.started.clear()
        # This process is the subreaper of everything started here: what a server left
        # running (a bus that the launcher started, a service the bus started) is ours.
        now = time.monotonic()
        kill_after, give_up = now + 10, now + 30
        while time.monotonic() < give_up:
            orphans = _children()
            if not orphans:
                return
            sig = signal.SIGTERM if time.monotonic() < kill_after else signal.SIGKILL
            for pid in orphans:
                try:
                    os.kill(pid, sig)
                    os.waitpid(pid, os.WNOHANG)
                except (ProcessLookupError, ChildProcessError):
                    pass
            time.sleep(0.05)


def _read_line(fd, what):
    data = b''
    deadline = time.monotonic() + DEADLINE
    while b'\n' not in data:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise AssertionError(f'waited {DEADLINE:.0f} s in vain for {what}')
        ready, _, _ = select.select([fd], [], [], remaining)
        if ready:
            chunk = os.read(fd, 4096)
            if not chunk:
                raise AssertionError(f'{what}: the program ended without it')
            data += chunk
    return data.split(b'\n', 1)[0].decode()


class Desktop:
    """A private desktop: runtime folder, session bus, display server and accessibility
    bus, none of them shared with the user's session."""

    def __init__(self, platform):
        self.platform = platform
        self.root = tempfile.mkdtemp(prefix='tarnwick-a11y-')
        self.logs = os.path.join(self.root, 'logs')
        self.runtime = os.path.join(self.root, 'runtime')
        self.home = os.path.join(self.root, 'home')
        for folder in (self.logs, self.runtime, self.home):
            os.makedirs(folder, mode=0o700)
        self.processes = Processes(self.logs)
        self.display = {}

    def environment(self):
        env = {
            'PATH': '/usr/bin:/bin',
            'HOME': self.home,
            'LANG': 'C.UTF-8',
            'XDG_RUNTIME_DIR': self.runtime,
            'XDG_SESSION_TYPE': self.platform,
            # Settings live in memory: nothing is written to the user's dconf database.
            'GSETTINGS_BACKEND': 'memory',
        }
        if self.platform == 'wayland':
            env['XDG_CURRENT_DESKTOP'] = 'GNOME'
        env.update(self.display)
        return env

    def start(self):
        env = self.environment()
        read_end, write_end = os.pipe()
        try:
            self.processes.start('dbus-daemon', [
                'dbus-daemon', '--session', '--nofork', '--nosyslog',
                '--address=unix:path=' + os.path.join(self.runtime, 'bus'),
                f'--print-address={write_end}'], env, pass_fds=(write_end,))
            os.close(write_end)
            write_end = -1
            self.display['DBUS_SESSION_BUS_ADDRESS'] = _read_line(read_end, 'the session bus')
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

        if self.platform == 'x11':
            self._start_xvfb()
        else:
            self._start_mutter()

        # The launcher starts the accessibility bus at once and answers for it on the
        # session bus, where Qt looks for it.
        self.processes.start('at-spi-bus-launcher',
                             ['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'],
                             self.environment())
        address = poll('the accessibility bus', self._accessibility_bus_address)

        # The client below talks to that bus and to no other.
        for key in ('DISPLAY', 'WAYLAND_DISPLAY', 'AT_SPI_BUS_ADDRESS'):
            os.environ.pop(key, None)
        os.environ.update(self.environment())
        os.environ['AT_SPI_BUS_ADDRESS'] = address
        global pyatspi
        import pyatspi as module
        pyatspi = module
        # Calls wait for a busy front end as long as the other waits do.
        pyatspi.setTimeout(int(DEADLINE * 1000), int(DEADLINE * 1000))

    def _start_xvfb(self):
        # Xvfb picks a free display number itself. Without -noreset it would reset as
        # soon as its first client leaves (the launcher, once it has published the bus),
        # refusing a connection made in that moment and dropping the bus's address from
        # the root window.
        read_end, write_end = os.pipe()
        try:
            self.processes.start('Xvfb', [
                'Xvfb', '-displayfd', str(write_end), '-screen', '0', '1024x768x24',
                '-nolisten', 'tcp', '-noreset'], self.environment(), pass_fds=(write_end,))
            os.close(write_end)
            write_end = -1
            self.display['DISPLAY'] = ':' + _read_line(read_end, 'the X server')
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

    def _start_mutter(self):
        name = 'wayland-a11y'
        self.processes.start('mutter', [
            'mutter', '--headless', '--wayland', '--no-x11', '--sm-disable',
            '--virtual-monitor', '1024x768', '--wayland-display', name], self.environment())
        poll('the Wayland compositor',
             lambda: os.path.exists(os.path.join(self.runtime, name)))
        self.display['WAYLAND_DISPLAY'] = name

    def _accessibility_bus_address(self):
        from gi.repository import Gio, GLib
        bus = Gio.DBusConnection.new_for_address_sync(
            self.display['DBUS_SESSION_BUS_ADDRESS'],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        try:
            # Only once the launcher owns the name: an earlier call would have the bus
            # start a second launcher.
            owned = bus.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus',
                                  'org.freedesktop.DBus', 'NameHasOwner',
                                  GLib.Variant('(s)', ('org.a11y.Bus',)), None,
                                  Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
            if not owned:
                return None
            return bus.call_sync('org.a11y.Bus', '/org/a11y/bus', 'org.a11y.Bus', 'GetAddress',
                                 None, None, Gio.DBusCallFlags.NO_AUTO_START, 5000,
                                 None).unpack()[0]
        finally:
            bus.close_sync(None)

    def close(self):
        self.processes.end_all()
        shutil.rmtree(self.root, ignore_errors=True)

    def print_logs(self):
        for name in sorted(os.listdir(self.logs)):
            with open(os.path.join(self.logs, name), errors='replace') as log:
                text = log.read()[-4000:]
            if text.strip():
                print(f'--- {name} (end) ---\n{text}', file=sys.stderr)


class FrontEnd:
    """The front end, installed beside the recording stand-in, on the private desktop and
    found on its accessibility bus."""

    def __init__(self, desktop, front_end, stand_in):
        self.desktop = desktop
        self.folder = tempfile.mkdtemp(dir=desktop.root, prefix='run-')
        bin_dir = os.path.join(self.folder, 'bin')
        os.makedirs(bin_dir)
        program = shutil.copy2(front_end, os.path.join(bin_dir, 'tarnwick-addon'))
        shutil.copy2(stand_in, os.path.join(bin_dir, 'tarnwick'))
        self.records = os.path.join(self.folder, 'records')
        self.work = os.path.join(self.folder, 'work')
        os.makedirs(self.records)
        os.makedirs(self.work)

        env = desktop.environment()
        env['QT_QPA_PLATFORM'] = 'xcb' if desktop.platform == 'x11' else 'wayland'
        env['QT_LINUX_ACCESSIBILITY_ALWAYS_ON'] = '1'
        env['RECORDER_DIR'] = self.records
        self.process = desktop.processes.start('tarnwick-addon', [program], env, cwd=self.work)
        self.app = poll('the front end on the accessibility bus', self._application)

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
        self.desktop.processes.end(self.process)


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
    desktop = None
    front_end_program = None
    stand_in_program = None

    def setUp(self):
        self.front_end = FrontEnd(self.desktop, self.front_end_program, self.stand_in_program)
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

    # Ended from outside (a test timeout, Ctrl+C), the test still ends what it started.
    # Only an interrupt passes through unittest, which takes any other exception for a
    # failed test and goes on with the next.
    def interrupt(number, frame):
        raise KeyboardInterrupt(f'ended by signal {number}')
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, interrupt)
    _libc.prctl(PR_SET_CHILD_SUBREAPER, 1)

    desktop = Desktop(platform)
    try:
        desktop.start()
        AccessibleWindow.desktop = desktop
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(AccessibleWindow)
        result = unittest.TextTestRunner(verbosity=2).run(suite)
        if not result.wasSuccessful():
            desktop.print_logs()
        return 0 if result.wasSuccessful() else 1
    except KeyboardInterrupt as interruption:
        print(interruption, file=sys.stderr)
        desktop.print_logs()
        return 1
    except BaseException:
        desktop.print_logs()
        raise
    finally:
        desktop.close()


if __name__ == '__main__':
    sys.exit(main())

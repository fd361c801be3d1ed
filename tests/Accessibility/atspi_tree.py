#!/usr/bin/env python3
"""Starts kelo over a few stamped files with Qt's accessibility on, on a private session bus with
its own accessibility bus and a virtual X display, and reads the window's tree as a screen reader
does: a file's row carries its folder, days left and date; a section title is a heading."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
LAUNCHER = '/usr/libexec/at-spi-bus-launcher'
BUS_CONFIG = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'Kelo', 'Platform',
                          'PrivateSessionBus.conf')


def skip(why):
    print('SKIP: ' + why)
    sys.exit(SKIP)


def wait_for(what, check, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = check()
        except Exception:  # the bus or the tree is still coming up
            found = None
        if found:
            return found
        time.sleep(0.2)
    raise AssertionError('timed out waiting for ' + what)


def outer(kelo):
    for program in ('dbus-run-session', 'xvfb-run', 'setfattr'):
        if not shutil.which(program):
            skip(program + ' is not installed')
    if not os.access(LAUNCHER, os.X_OK):
        skip(LAUNCHER + ' is missing (package at-spi2-core)')
    # Debian's pyatspi is for Debian's Python, which need not be the first on the PATH.
    python = next((candidate for candidate in (sys.executable, '/usr/bin/python3')
                   if subprocess.run([candidate, '-c', 'import pyatspi'],
                                     capture_output=True).returncode == 0), None)
    if not python:
        skip('pyatspi is missing (package python3-pyatspi)')
    # A bus that starts no services by itself: no notification server but none at all.
    command = ['dbus-run-session', '--config-file=' + BUS_CONFIG, '--', 'xvfb-run', '-a', python, __file__, '--inner', kelo]
    sys.exit(subprocess.run(command, timeout=110).returncode)


def stamp(path, date):
    with open(path, 'w') as file:
        file.write('x')
    subprocess.run(['setfattr', '-n', 'user.wex.dorvel.kelo.expires', '-v', date, path],
                   check=True)
    subprocess.run(['setfattr', '-n', 'user.xdg.tags', '-v', 'Kelo', path], check=True)


def walk(node, depth=0):
    yield node
    if depth > 12:
        return
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child, depth + 1)


def inner(kelo):
    import pyatspi

    root = tempfile.mkdtemp(prefix='kelo-atspi-')
    home = os.path.join(root, 'thuis')
    desk = os.path.join(home, 'Bureaublad')
    os.makedirs(desk)
    try:
        stamp(os.path.join(desk, 'oud.txt'), '2025-11-02')
    except subprocess.CalledProcessError:
        skip('the temporary folder takes no user attributes')
    stamp(os.path.join(home, 'vers.txt'), '2999-01-01')

    launcher = subprocess.Popen([LAUNCHER, '--launch-immediately'])
    environment = dict(os.environ, HOME=home, KELO_SEARCH_SCOPES=home,
                       XDG_DATA_HOME=os.path.join(root, 'data'),
                       XDG_CONFIG_HOME=os.path.join(root, 'config'),
                       XDG_CACHE_HOME=os.path.join(root, 'cache'),
                       XDG_STATE_HOME=os.path.join(root, 'state'),
                       LANGUAGE='nl', LC_ALL='nl_NL.UTF-8', QT_ACCESSIBILITY='1',
                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_QPA_PLATFORM='xcb',
                       # No update check leaves the machine.
                       KELO_UPDATE_FEED='https://127.0.0.1:9/appcast.xml')
    app = None
    try:
        wait_for('the accessibility bus', lambda: subprocess.run(
            ['dbus-send', '--session', '--print-reply', '--dest=org.a11y.Bus', '/org/a11y/bus',
             'org.a11y.Bus.GetAddress'], capture_output=True).returncode == 0, 15)
        app = subprocess.Popen([kelo], env=environment)

        def kelo_app():
            desktop = pyatspi.Registry.getDesktop(0)
            for index in range(desktop.childCount):
                child = desktop.getChildAtIndex(index)
                if child is not None and child.name.lower() == 'kelo':
                    return child
            return None

        def file_list():
            for node in walk(kelo_app()):
                if node.getRole() == pyatspi.ROLE_LIST and node.name == 'Bestanden' and \
                        node.childCount >= 4:
                    return node
            return None

        try:
            shelf = wait_for('the list of files in kelo\'s window', file_list, 40)
        except AssertionError:
            desktop = pyatspi.Registry.getDesktop(0)
            print('applications:', [desktop.getChildAtIndex(i).name
                                    for i in range(desktop.childCount)])
            for node in walk(kelo_app()) if kelo_app() else ():
                print(node.getRoleName(), repr(node.name), node.childCount)
            raise
        rows = [shelf.getChildAtIndex(index) for index in range(shelf.childCount)]
        for row in rows:
            print('%-10s %-40s %s' % (row.getRoleName(), row.name, row.description))
        headings = [row for row in rows if row.getRole() == pyatspi.ROLE_HEADING]
        assert [heading.name for heading in headings] == \
            ['Over de datum, 1 bestand', 'Nog lang houdbaar, 1 bestand'], headings
        oud = next(row for row in rows if row.name == 'oud.txt')
        assert oud.getRole() == pyatspi.ROLE_LIST_ITEM, oud.getRoleName()
        assert oud.description.startswith('~/Bureaublad, ') and \
            'dagen over de datum' in oud.description and \
            oud.description.endswith('2 november 2025'), oud.description
        actions = oud.queryAction()
        names = [actions.getName(index) for index in range(actions.nActions)]
        assert 'ShowMenu' in names, names
        button = headings[0].getChildAtIndex(0)
        assert button is not None and button.getRole() == pyatspi.ROLE_PUSH_BUTTON and \
            button.name == 'Opruimen…', button
        print('1 passed, 0 failed')
        return 0
    finally:
        for process in (app, launcher):
            if process:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == '__main__':
    if len(sys.argv) == 3 and sys.argv[1] == '--inner':
        sys.exit(inner(sys.argv[2]))
    if len(sys.argv) != 2:
        sys.exit('usage: atspi_tree.py KELO')
    outer(sys.argv[1])

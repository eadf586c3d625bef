#!/usr/bin/python3
"""What a screen reader sees of a running program, through AT-SPI.

    atspi.py files PID TITLE      the names a file dialog titled TITLE lists
    atspi.py has PID ROLE NAME    exit 0 when a shown node ROLE named NAME exists
    atspi.py lacks PID ROLE NAME  exit 0 when no node ROLE named NAME exists
    atspi.py press PID ROLE NAME  presses the node, as a screen reader does
    atspi.py holds PID TEXT       exit 0 when a shown text field holds TEXT

PID is the program's process; ROLE is AT-SPI's role name ("push button",
"frame", "image", "menu item"). Each call looks once and answers; the
caller polls. Exit status 1 means not (yet) so, 2 a wrong command line.
Run by Debian's python3, which has pyatspi.
"""
import sys

import pyatspi

# A tree deeper or larger than this is not one of ours: a bound, not a need.
MAX_DEPTH = 40
MAX_NODES = 5000


def applications(pid):
    """The program's accessible applications: one for Qt, one more for GTK
    when its platform theme has loaded GTK into the program."""
    found = []
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                found.append(app)
        except Exception:  # an application that went away meanwhile
            pass
    return found


def nodes(root):
    """Every node under `root`, depth first, within the bounds."""
    stack = [(root, 0)]
    seen = 0
    while stack and seen < MAX_NODES:
        node, depth = stack.pop()
        seen += 1
        yield node
        if depth >= MAX_DEPTH:
            continue
        try:
            count = node.childCount
        except Exception:
            continue
        for i in reversed(range(count)):
            try:
                child = node.getChildAtIndex(i)
            except Exception:
                continue
            if child is not None:
                stack.append((child, depth + 1))


def find(pid, role, name):
    for app in applications(pid):
        for node in nodes(app):
            try:
                if node.getRoleName() == role and node.name == name:
                    return node
            except Exception:
                pass
    return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def holds(pid, text):
    for app in applications(pid):
        for node in nodes(app):
            try:
                if node.getRoleName() != "text" or not showing(node):
                    continue
                field = node.queryText()
                if field.getText(0, field.characterCount) == text:
                    return True
            except Exception:
                pass
    return False


def listed_files(pid, title):
    """The names in the first column of the file list of the dialog titled
    `title`, as GTK's file chooser shows them."""
    for app in applications(pid):
        for dialog in nodes(app):
            try:
                if dialog.name != title or dialog.getRoleName() not in ("file chooser", "dialog", "frame"):
                    continue
            except Exception:
                continue
            for node in nodes(dialog):
                try:
                    if node.getRoleName() != "table" or node.name != "Files":
                        continue
                    table = node.queryTable()
                except Exception:
                    continue
                names = []
                for row in range(table.nRows):
                    cell = table.getAccessibleAt(row, 0)
                    names += [n.name for n in nodes(cell) if n.name]
                return names
    return None


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    command, pid = argv[1], int(argv[2])
    if command == "files" and len(argv) == 4:
        names = listed_files(pid, argv[3])
        if names is None:
            return 1
        print("\n".join(sorted(names)))
        return 0
    if command == "holds" and len(argv) == 4:
        return 0 if holds(pid, argv[3]) else 1
    if command in ("has", "lacks", "press") and len(argv) == 5:
        node = find(pid, argv[3], argv[4])
        if command == "lacks":
            return 0 if node is None else 1
        if node is None or not showing(node):
            return 1
        if command == "press":
            action = node.queryAction()
            names = [action.getName(i).lower() for i in range(action.nActions)]
            # Qt calls it Press, GTK click.
            pressing = [i for i, name in enumerate(names) if name in ("press", "click")]
            if not pressing:
                print(f"'{argv[4]}' offers no press action, only {names}", file=sys.stderr)
                return 1
            action.doAction(pressing[0])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/python3
"""Reads the terminal's window over the desktop's accessibility bus, as a screen reader does.

Runs the program given as its argument (atspi_terminal: connected, an instrument's reply in the
log, the log focused on the reply row) and checks what the bus tells about it: the log as a
table with its headers and cells, the reply cell's text, the focused and selected row, the
labels of the boxes, the time-out spin button's value, and that moving the selection in the log
is announced as a focus change. Needs Debian's python3-pyatspi, so it runs with /usr/bin/python3;
run it through with-atspi.sh. Prints what it found and ends with status 0 when all of it is
right.
"""

import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

COMMAND = "*IDN?"
REPLY = "12.345"
WAIT_SECONDS = 60  # only for failures: how long the program may take to show up

failures = []


def check(what, actual, expected):
    status = "ok  " if actual == expected else "FAIL"
    print(f"{status} {what}: {actual!r}" + ("" if actual == expected else f", expected {expected!r}"))
    if actual != expected:
        failures.append(what)


def find(root, matches, skip_tables=True):
    """The first descendant of root (depth first) that matches; tables are not searched."""
    for index in range(root.childCount):
        child = root.getChildAtIndex(index)
        if child is None:
            continue
        if matches(child):
            return child
        if skip_tables and child.getRole() == pyatspi.ROLE_TABLE:
            continue
        found = find(child, matches, skip_tables)
        if found is not None:
            return found
    return None


def application(pid):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except GLib.Error:
                pass
        time.sleep(0.1)
    return None


def label_names(accessible):
    names = []
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def read_window(app):
    table_object = find(app, lambda a: a.getRole() == pyatspi.ROLE_TABLE)
    if table_object is None:
        check("the log is a table", None, "table")
        return None
    table = table_object.queryTable()
    check("rows", table.nRows, 2)
    check("columns", table.nColumns, 2)
    check("column headers", [table.getColumnHeader(c).name for c in range(2)], ["Command", "Response"])
    check("column descriptions", [table.getColumnDescription(c) for c in range(2)],
          ["Command", "Response"])
    reply = table.getAccessibleAt(1, 1)
    check("reply cell", (reply.getRoleName(), reply.name), ("table cell", REPLY))
    check("command cell", table.getAccessibleAt(0, 0).name, COMMAND)
    check("selected rows", list(table.getSelectedRows()), [1])
    check("focused cell is the Command cell of the reply row",
          [table.getAccessibleAt(r, c).getState().contains(pyatspi.STATE_FOCUSED)
           for r in range(2) for c in range(2)], [False, False, True, False])

    for name, label in (("COM 5", "Com Port:"), ("9600", "Baud Rate:")):
        box = find(app, lambda a, n=name: a.getRole() == pyatspi.ROLE_COMBO_BOX and a.name == n)
        check(f"labels of the {label} list", label_names(box)[:1] if box else None, [label])
    spin = find(app, lambda a: a.getRole() == pyatspi.ROLE_SPIN_BUTTON)
    if spin is None:
        check("time-out spin button", None, "spin button")
    else:
        value = spin.queryValue()
        check("time-out value, minimum, maximum",
              (value.currentValue, value.minimumValue, value.maximumValue), (5.0, 1.0, 99.0))
        check("labels of the spin button", label_names(spin)[:1], ["Timeout (Sec):"])
    return table_object


def hear_selection_move(driver):
    """Presses Up in the log and waits for the focus to be announced on the command's cell."""
    heard = []
    loop_ended = []

    def on_focus(event):
        if event.detail1 == 1:
            heard.append((event.source.getRoleName(), event.source.name))
            if heard[-1] == ("table cell", COMMAND):
                pyatspi.Registry.stop()

    def give_up():
        loop_ended.append(True)
        pyatspi.Registry.stop()
        return False

    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    GLib.timeout_add_seconds(WAIT_SECONDS, give_up)
    driver.stdin.write("up\n")
    driver.stdin.flush()
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(on_focus, "object:state-changed:focused")
    check("focus announced after Up", heard[-1:] if heard else None, [("table cell", COMMAND)])


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: read_reply.py PATH-TO-atspi_terminal")
    # Listening before the program starts, so that its bridge sends focus changes from the start.
    pyatspi.Registry.registerEventListener(lambda event: None, "object:state-changed:focused")
    driver = subprocess.Popen([sys.argv[1]], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              text=True)
    try:
        first = driver.stdout.readline().strip()
        if first != "ready":
            check("the terminal holds a reply", first, "ready")
        else:
            app = application(driver.pid)
            if app is None:
                check("the terminal is on the accessibility bus", None, "application")
            else:
                read_window(app)
                hear_selection_move(driver)
    finally:
        driver.stdin.close()
        status = driver.wait(timeout=WAIT_SECONDS)
        check("the terminal's exit status", status, 0)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())

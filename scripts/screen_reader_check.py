#!/usr/bin/env python3
"""Prints what the accessibility bus, which Orca reads, tells of Quillmoor in three places:
the list of "Event Alert!", a day cell before and after Page Down, and the first row of
"Event Management"; exits with 1 when one of them would mislead a listener. Run by
scripts/screen_reader_check.sh, which gives it a display, a session bus and a calendar with
one event today.
    screen_reader_check.py BIN"""
import os
import re
import subprocess
import sys
import time

import pyatspi

ME = "screen_reader_check"


def wait_for(find, what, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.3)
    sys.exit(f"{ME}: no {what} after {seconds} s")


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None and child.getRoleName() not in ("table cell", "table column header"):
            yield from walk(child)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "quillmoor":
            return app
    return None


def window(title):
    app = application()
    for i in range(app.childCount if app else 0):
        shown = app.getChildAtIndex(i)
        if shown is not None and shown.name.startswith(title) and shown.getState().contains(pyatspi.STATE_SHOWING):
            return shown
    return None


def focused(root):
    for node in walk(root):
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            return node
    if root.getRoleName() in ("table", "tree", "tree table"):
        return None
    for node in walk(root):  # a table's focused cell
        if node.getRoleName() in ("table", "tree", "tree table"):
            for i in range(node.childCount):
                cell = node.getChildAtIndex(i)
                if cell is not None and cell.getState().contains(pyatspi.STATE_FOCUSED):
                    return cell
    return None


def said(node):
    """What a screen reader has to say: its labels, name, role and whether it is unavailable."""
    words = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            words += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    words += [node.name, node.getRoleName()]
    if not node.getState().contains(pyatspi.STATE_ENABLED):
        words.append("unavailable")
    return ", ".join(w for w in words if w)


failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)


def focus_window(title):
    subprocess.run(["xdotool", "search", "--sync", "--name", f"^{re.escape(title)}", "windowfocus", "--sync"],
                   check=True, stdout=subprocess.DEVNULL, timeout=30)
    time.sleep(0.5)


def click(node):
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"], check=True)


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)
    time.sleep(0.8)


def main():
    program = subprocess.Popen([os.path.join(sys.argv[1], "quillmoor")])
    try:
        alert = wait_for(lambda: window("Event Alert!"), '"Event Alert!"')
        focus_window("Event Alert!")
        box = next(n for n in walk(alert) if n.getRoleName() == "combo box")
        print(f'Event Alert!, its list: "{said(box)}"')
        expect(said(box) == "Today's events, Dentist, combo box", "the alert's list is not named")
        key("Escape")

        main_window = wait_for(lambda: window("Quillmoor"), "main window")
        focus_window("Quillmoor")
        day_one = next(n for n in walk(main_window) if re.match(r"\w+day 1 ", n.name))
        print(f'Main window, the cell of day 1: "{said(day_one)}"')
        before = day_one.getRoleName()
        key("Next")
        print(f'  after Page Down, the same cell: "{said(day_one)}"')
        expect(day_one.getRoleName() == before, "a day cell changed its role with the month")
        print(f'  and the focus: "{said(focused(main_window))}"')

        manage = next(n for n in walk(main_window) if n.name == "Manage Events")
        click(manage)
        management = wait_for(lambda: window("Event Management"), '"Event Management"')
        focus_window("Event Management")
        for _ in range(6):
            tree = focused(management)
            if tree is not None and tree.getRoleName() in ("table", "tree", "tree table"):
                break
            key("Tab")
        cells = [tree.getChildAtIndex(i) for i in range(tree.childCount)]
        cell = next((c for c in cells if c.getState().contains(pyatspi.STATE_FOCUSED)), None)
        print(f'Event Management, the focus: "{said(tree)}", on its cell "{said(cell) if cell else None}"')
        table = tree.queryTable()
        row = table.getRowAtIndex(cell.getIndexInParent()) if cell else 0
        shown = [table.getAccessibleAt(row, c) for c in range(table.nColumns)]
        read = [c.name for c in shown if c.getState().contains(pyatspi.STATE_SHOWING)]
        print("  its row, the cells shown: " + " | ".join(read))
        expect(cell is not None and cell.name == "Title: Dentist", "Event Management does not start on the title")
        expect(read[:2] == ["Title: Dentist", "Description: At ten"], "a row is not read by column names")
    finally:
        program.kill()
        program.wait()
    for failure in failures:
        print(f"{ME}: FAIL: {failure}")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()

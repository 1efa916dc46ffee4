#!/usr/bin/python3
"""Prints what a screen reader reads in one window of the running program,
over the accessibility bus (AT-SPI): the text of every label, then every
field as "NAME=TEXT", one a line.

  window_texts.py PID TITLE [TIMEOUT]

Exits 1 when no window of that title shows within TIMEOUT seconds (10).
"""
import sys
import time

import pyatspi
from gi.repository import GLib

PID = int(sys.argv[1])
TITLE = sys.argv[2]
TIMEOUT = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0


def pump():
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def nodes(root, depth=0):
    if root is None or depth > 12:
        return
    yield root
    for i in range(root.childCount):
        try:
            child = root.getChildAtIndex(i)
        except Exception:
            continue
        yield from nodes(child, depth + 1)


def window():
    deadline = time.time() + TIMEOUT
    while time.time() < deadline:
        pump()
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is None or app.get_process_id() != PID:
                    continue
            except Exception:
                continue
            app.clear_cache()
            for i in range(app.childCount):
                w = app.getChildAtIndex(i)
                if w is not None and w.name == TITLE and w.getState().contains(pyatspi.STATE_SHOWING):
                    return w
        time.sleep(0.2)
    return None


def text_of(node):
    try:
        text = node.queryText()
        return text.getText(0, -1)
    except NotImplementedError:
        return ""


def main():
    w = window()
    if w is None:
        print("no window titled %r" % TITLE, file=sys.stderr)
        return 1
    fields = (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY)
    for node in nodes(w):
        if node.getRole() == pyatspi.ROLE_LABEL and node.name:
            print(node.name)
    for node in nodes(w):
        if node.getRole() in fields:
            print("%s=%s" % (node.name, text_of(node)))
    return 0


if __name__ == "__main__":
    sys.exit(main())

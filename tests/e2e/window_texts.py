#!/usr/bin/python3
"""Prints what a screen reader reads in one window of the running program,
over the accessibility bus (AT-SPI): the text of every label, then every
field as "NAME=TEXT", one a line.

  window_texts.py PID TITLE [TIMEOUT]

Exits 1 when no window of that title shows within TIMEOUT seconds (10).
"""
import sys

import pyatspi

from atspi_walk import nodes, window

PID = int(sys.argv[1])
TITLE = sys.argv[2]
TIMEOUT = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0


def text_of(node):
    try:
        text = node.queryText()
        return text.getText(0, -1)
    except NotImplementedError:
        return ""


def main():
    w = window(PID, TITLE, TIMEOUT)
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

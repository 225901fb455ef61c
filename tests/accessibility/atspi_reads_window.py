#!/usr/bin/python3
"""Reads the window through the AT-SPI registry, as a screen reader does.

    atspi_reads_window.py PROGRAM

Starts PROGRAM (the demo, on its two simulated dividers; the window opens
MV2B-00988, which divides by 4), waits for the window to show the open
divider, and checks what a screen reader is told: each list named by its
caption, its selected item as its text and labelled by its caption; each
value label read as its own text and labelled by its caption label; the
hidden button by its caption, with a description. Prints what it saw and
ends with status 1 when a check fails. Needs an X display and a D-Bus
session (atspi_reads_window.sh provides both).
"""
import subprocess
import sys
import time

import pyatspi

WINDOW_TITLE = "Merovane Config"
# caption, the selected item of the list it names
LISTS = [("Serial Number", "MV2B-00988"), ("Output signal", "Divide By 4")]
# caption, the value it labels (the window shows each after a space)
VALUES = [("Product name", " Clock Divider CD-4"), ("Made by", " Merovane Instruments"),
          ("Version", " 2.10")]
BUTTON = ("Command1", "Sends the divider's auxiliary command")


def descendants(node):
    for child in node:
        if child is not None:
            yield child
            yield from descendants(child)


def find_window():
    for app in pyatspi.Registry.getDesktop(0):
        for window in app or []:
            if window is not None and window.name == WINDOW_TITLE:
                return window
    return None


def text_of(node):
    """The text behind the text interface; None without one."""
    try:
        text = node.queryText()
    except NotImplementedError:
        return None
    return text.getText(0, text.characterCount)


def labelled_by(node):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def describe(node):
    return "%s %r text=%r labelled by %r" % (node.getRoleName(), node.name, text_of(node),
                                              labelled_by(node))


def wait_for_window(program, seconds=30):
    """The window once it shows the open divider's serial selected."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if program.poll() is not None:
            sys.exit("the program ended (%d) before its window showed" % program.returncode)
        window = find_window()
        if window is not None and any(
                node.getRole() == pyatspi.ROLE_COMBO_BOX and LISTS[0][1] in (node.name, text_of(node))
                for node in descendants(window)):
            return window
        time.sleep(0.5)
    sys.exit("no window showing %r within %d s" % (LISTS[0][1], seconds))


def check(window):
    nodes = list(descendants(window))
    failures = 0

    def expect(ok, what, seen):
        nonlocal failures
        print("%s %s: %s" % ("ok  " if ok else "FAIL", what, seen))
        failures += not ok

    lists = [n for n in nodes if n.getRole() == pyatspi.ROLE_COMBO_BOX]
    for caption, item in LISTS:
        named = [n for n in lists if n.name == caption]
        seen = "; ".join(describe(n) for n in (named or lists))
        expect(len(named) == 1 and text_of(named[0]) == item
               and labelled_by(named[0]) == [caption],
               "list %r shows %r, labelled by its caption" % (caption, item), seen)

    labels = [n for n in nodes if n.getRole() == pyatspi.ROLE_LABEL]
    for caption, value in VALUES:
        showing = [n for n in labels if value in (n.name, text_of(n))]
        seen = "; ".join(describe(n) for n in showing) or "no label shows it"
        expect(len(showing) == 1 and showing[0].name == value and text_of(showing[0]) == value
               and labelled_by(showing[0]) == [caption],
               "value %r read as its text, labelled by %r" % (value, caption), seen)

    caption, description = BUTTON
    buttons = [n for n in nodes if n.getRole() == pyatspi.ROLE_PUSH_BUTTON]
    seen = "; ".join("%r described %r" % (b.name, b.description) for b in buttons)
    expect(any(b.name == caption and b.description == description for b in buttons),
           "button %r described %r" % (caption, description), seen)
    return failures


def main():
    program = subprocess.Popen(sys.argv[1:])
    try:
        failures = check(wait_for_window(program))
    finally:
        program.terminate()
        program.wait()
    print("%d check(s) failed" % failures if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints what a screen reader learns of one program through the accessibility bus: one line per
# accessible object, "role<TAB>name<TAB>text" (text only for objects with a text interface).
#   atspi_dump.py PID
import sys
import time

import pyatspi


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    try:
        role = node.getRoleName()
        name = node.name or ""
        text = ""
        try:
            t = node.queryText()
            text = t.getText(0, t.characterCount)
        except NotImplementedError:
            pass
        flat = lambda s: s.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t")
        print(f"{role}\t{flat(name)}\t{flat(text)}")
        for i in range(node.childCount):
            walk(node.getChildAtIndex(i), depth + 1)
    except Exception as e:  # objects may go away while they are read
        print(f"error\t{e}\t", file=sys.stderr)


pid = int(sys.argv[1])
# The program registers with the bus while it starts: wait for it, not for a fixed time.
deadline = time.monotonic() + 30
while time.monotonic() < deadline:
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid and app.childCount > 0:
            walk(app)
            sys.exit(0)
    time.sleep(0.1)
print(f"no application with pid {pid} on the accessibility bus", file=sys.stderr)
sys.exit(1)

#!/usr/bin/python3
"""Reads the real Zariza编辑器 window as a screen reader does, through AT-SPI.

usage: read_aloud.py PROGRAM

Works as drive_window.py does, on a D-Bus session bus of its own, with Qt's accessibility bridge
always on. It walks the program's accessibility tree and checks what a screen reader announces:
the window by its title, the text box as 代码, each button by its caption without the blank, and
nothing without a name but the parts of the text box's scroll area.
Debian's Python, for its python3-pyatspi. Exit status 77 (skipped) when Xvfb, xdotool,
dbus-run-session or python3-pyatspi is missing.
"""

import importlib.util
import os
import sys
from dataclasses import dataclass, field

from drive_window import (
    Road,
    RoadFailed,
    Session,
    drive_on_private_bus,
    missing_tools,
    wait_until,
)


@dataclass
class ExpectAnnounced:
    """Each (role, name) is in the window's accessibility tree, and nothing outside the text box
    lacks a name."""

    objects: set = field(repr=False)


class ReaderSession(Session):
    def __init__(self, desktop, program, road, scratch):
        super().__init__(desktop, program, road, scratch)
        self.environment.update(
            DBUS_SESSION_BUS_ADDRESS=os.environ["DBUS_SESSION_BUS_ADDRESS"],
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
        )

    def application(self):
        import pyatspi

        desktop = pyatspi.Registry.getDesktop(0)
        found = [app for app in desktop if app and app.get_process_id() == self.process.pid]
        return found[0] if found else None

    def perform(self, step):
        if not isinstance(step, ExpectAnnounced):
            return super().perform(step)
        announced, unnamed = set(), []
        pending = list(wait_until("the program in the accessibility tree", self.application))
        while pending:
            node = pending.pop()
            role = node.getRoleName()
            announced.add((role, node.name))
            if not node.name:
                unnamed.append(role)
            # A scroll area's viewport, bars and their holders are Qt's, and have no names.
            if role != "text":
                pending.extend(node)
        missing = step.objects - announced
        if missing or unnamed:
            raise RoadFailed(f"missing {sorted(missing)}; without a name: {unnamed}")


ROADS = [
    Road(
        "a screen reader hears the window, 代码 and the five buttons, and nothing unnamed",
        [
            ExpectAnnounced(
                {("frame", "Zariza编辑器"), ("text", "代码")}
                | {("push button", name) for name in ("打开", "新建", "保存", "测试", "生成")}
            )
        ],
        {},
    ),
]


def main(arguments):
    missing = missing_tools("Xvfb", "xdotool", "dbus-run-session")
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("python3-pyatspi")
    return drive_on_private_bus(arguments, __doc__, missing, ROADS, ReaderSession)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""Types Chinese into the real Zariza编辑器 window through fcitx5's pinyin input method.

usage: type_pinyin.py PROGRAM

Works as drive_window.py does, on a D-Bus session bus of its own. Each road starts fcitx5 with a
profile of its own whose pinyin is on from the start, as on a Chinese desktop, and the program
with QT_IM_MODULE=fcitx: letters and a space typed on the keyboard must reach the program as the
Chinese characters pinyin gives for them, in the text box and in the file dialog's name box.
Exit status 77 (skipped) when Xvfb, xdotool, fcitx5, its pinyin or its Qt 6 module is missing.
"""

import glob
import os
import re
import select
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

from drive_window import (
    SETTLE,
    Answer,
    Click,
    Road,
    RoadFailed,
    Session,
    drive_on_private_bus,
    gbk_file,
    missing_tools,
    wait_until,
)

# The first input method is the one used while the input method is off; the default one is used
# while it is on, which ActiveByDefault makes it in every new window.
PROFILE = """[Groups/0]
Name=Default
Default Layout=us
DefaultIM=pinyin

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=pinyin
Layout=

[GroupOrder]
0=Default
"""
CONFIG = "[Behavior]\nActiveByDefault=True\nPreloadInputMethod=True\n"
ADDONS = "xcb,dbus,dbusfrontend,keyboard,pinyin,punctuation,classicui"
QT_MODULE = "/usr/lib/*/qt6/plugins/platforminputcontexts/libfcitx5platforminputcontextplugin.so"


@dataclass
class TypePinyin:
    """Replaces everything in the text box with what pinyin makes of keys, which must be commits."""

    keys: str
    commits: str


@dataclass
class ChoosePinyinName:
    """In the file dialog with this title (which opens in the working folder), types keys into
    the name box, where pinyin must make commits of them, and presses Return."""

    title: str
    keys: str
    commits: str


class PinyinSession(Session):
    def __init__(self, desktop, program, road, scratch):
        super().__init__(desktop, program, road, scratch)
        self.environment.update(
            DBUS_SESSION_BUS_ADDRESS=os.environ["DBUS_SESSION_BUS_ADDRESS"],
            QT_IM_MODULE="fcitx",
            XMODIFIERS="@im=fcitx",
        )
        config = Path(self.environment["XDG_CONFIG_HOME"]) / "fcitx5"
        config.mkdir()
        (config / "profile").write_text(PROFILE)
        (config / "config").write_text(CONFIG)
        self.fcitx_log = scratch / "fcitx5.log"
        self.fcitx = self.monitor = None
        self.committed = b""
        self.commits_expected = []

    def start(self):
        # Every string fcitx5 commits to a program, as the bus carries it.
        self.monitor = subprocess.Popen(
            ["dbus-monitor", "--session", "type='signal',member='CommitString'"],
            env=self.environment,
            stdout=subprocess.PIPE,
        )
        with open(self.fcitx_log, "wb") as log:
            self.fcitx = subprocess.Popen(
                ["fcitx5", "--disable=all", f"--enable={ADDONS}"],
                env=self.environment,
                stdout=log,
                stderr=subprocess.STDOUT,
            )
        # Typing before pinyin has loaded loses keys.
        wait_until("fcitx5 to load pinyin", lambda: b"Loaded addon pinyin" in self.fcitx_output())
        super().start()

    def stop(self):
        super().stop()
        for process in (self.fcitx, self.monitor):
            if process and process.poll() is None:
                process.terminate()
                process.wait()
        if self.monitor:
            self.monitor.stdout.close()
            self.monitor = None

    def fcitx_output(self):
        if self.fcitx.poll() is not None:
            raise RoadFailed(f"fcitx5 exited: {self.fcitx_log.read_text(errors='replace')}")
        return self.fcitx_log.read_bytes()

    def commits(self):
        while select.select([self.monitor.stdout], [], [], 0)[0]:
            chunk = os.read(self.monitor.stdout.fileno(), 4096)
            if not chunk:
                break
            self.committed += chunk
        text = self.committed.decode(errors="replace")
        return re.findall(r'member=CommitString\n\s*string "(.*)"\n', text)

    def pinyin_on(self):
        self.fcitx_output()
        state = subprocess.run(["fcitx5-remote"], env=self.environment, capture_output=True)
        return state.stdout.strip() == b"2"

    def type_pinyin(self, keys, commits):
        wait_until("pinyin to be on in the focused window", self.pinyin_on)
        self.desktop.xdotool("key", "ctrl+a")
        self.desktop.xdotool("type", "--delay", "30", keys)
        self.commits_expected.append(commits)
        try:
            wait_until(f"pinyin to give {commits}", lambda: self.commits() == self.commits_expected)
        except RoadFailed:
            raise RoadFailed(f"pinyin gave {self.commits()}") from None
        time.sleep(SETTLE)

    def perform(self, step):
        if isinstance(step, TypePinyin):
            self.desktop.xdotool("windowactivate", "--sync", self.main_window)
            self.type_pinyin(step.keys, step.commits)
        elif isinstance(step, ChoosePinyinName):
            window, _ = self.wait_for_active(step.title)
            time.sleep(SETTLE)
            self.type_pinyin(step.keys, step.commits)
            self.desktop.xdotool("key", "Return")
            self.wait_until_gone(window)
        else:
            super().perform(step)


ROADS = [
    Road(
        "pinyin: 你好 typed in the text box, generated and saved under names typed in pinyin",
        [
            TypePinyin("nihao ", "你好"),
            Click("Command5"),
            ChoosePinyinName("生成", "wangye ", "网页"),
            Answer("提示", "Return"),
            Click("Command3"),
            ChoosePinyinName("保存", "biji ", "笔记"),
            Answer("提示", "Return"),
        ],
        {"网页": gbk_file("你好"), "笔记": gbk_file("你好")},
    ),
]


def main(arguments):
    missing = missing_tools("Xvfb", "xdotool", "dbus-run-session", "fcitx5", "fcitx5-remote")
    if not glob.glob("/usr/share/fcitx5/addon/pinyin.conf"):
        missing.append("fcitx5-chinese-addons")
    if not glob.glob(QT_MODULE):
        missing.append("fcitx5-frontend-qt6")
    return drive_on_private_bus(arguments, __doc__, missing, ROADS, PinyinSession)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

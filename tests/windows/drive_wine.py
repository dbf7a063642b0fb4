#!/usr/bin/env python3
"""Works the Windows build of Zariza编辑器 under Wine like drive_window.py works the Linux one.

usage: drive_wine.py ZARIZA.EXE [ROAD-NAME-PART ...]

Travels drive_window.py's roads that mean the same on Windows (typing and generating, opening a
GBK page through the dialog, the preview, the close question) and one of its own: the session
ending. The preview's browser is a stub registered in the Wine prefix for .htm files, which
records the path cmd.exe's start hands it. WINEPREFIX names a prefix made by prepare_wine_prefix.
Exit status 77 (skipped) when Wine, Xvfb or xdotool is missing.
"""

import os
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
import drive_window  # noqa: E402
from drive_window import (  # noqa: E402
    Answer,
    ChooseFile,
    Click,
    ExpectExit,
    ExpectRunning,
    Road,
    RoadFailed,
    Session,
    Type,
)

ROAD_NAMES = [
    "open a multi-line GBK file and generate it back unchanged",
    "preview: Cs.htm is written and handed to the default browser",
    "preview after opening from a folder: Cs.htm lands beside the opened file",
    "close with Alt+F4: Cancel keeps the window, OK exits with 0",
]
# Typed under Wine, fullwidth "，", "：" and "）" (U+FF0C, U+FF1A, U+FF09) are taken for X's
# function keys and dropped, and a Chinese character typed after Return is now and then lost: the
# typed pages here have "。" where the Linux ones have "，", and Chinese on their first line only.
GBK_PAGE = "<p>你好。世界</p>\n<b>two</b>"
UTF8_PAGE = '<meta charset="utf-8">\n<p>你好。世界</p>'


@dataclass
class EndSession:
    """Windows asks every program whether the session may end (WM_QUERYENDSESSION)."""


@dataclass
class ExpectSessionEnded(ExpectExit):
    """The program ends: by itself, or ended by the system once it has agreed (Wine kills it)."""

    status: int = 0


ROADS = [
    Road(
        "type and generate: GBK bytes with CR LF",
        [Type(GBK_PAGE), Click("Command5"), ChooseFile("生成", "page.htm"), Answer("提示", "Return")],
        {"page.htm": drive_window.gbk_file(GBK_PAGE)},
    ),
    Road(
        "type and generate: a page declaring UTF-8 is written in UTF-8",
        [Type(UTF8_PAGE), Click("Command5"), ChooseFile("生成", "page.html"), Answer("提示", "Escape")],
        {"page.html": drive_window.utf8_file(UTF8_PAGE)},
    ),
    *(road for road in drive_window.ROADS if road.name in ROAD_NAMES),
    Road(
        "the session ending asks first: Cancel keeps the window, OK ends it",
        [
            EndSession(),
            Answer("提示", "Escape"),
            ExpectRunning(),
            EndSession(),
            Answer("提示", "Return"),
            ExpectSessionEnded(),
        ],
        {},
    ),
]


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class WineSession(Session):
    def __init__(self, desktop, program, road, scratch):
        super().__init__(desktop, program, road, scratch)
        self.command = ["wine", program]
        self.environment.pop("QT_QPA_PLATFORM")
        self.environment.update(
            WINEPREFIX=os.environ["WINEPREFIX"],
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            LANG="C.UTF-8",  # Chinese file names reach the disk in UTF-8
        )
        self.register_stub_browser(scratch)

    def register_stub_browser(self, scratch):
        """.htm and .html open with cmd.exe appending the path it is given to the record."""
        command = f'cmd.exe /c echo "%1">>"{windows_path(self.launches)}"'
        lines = ["Windows Registry Editor Version 5.00", ""]
        # Wine reads associations from HKEY_CLASSES_ROOT alone, not the user's own classes.
        for extension in (".htm", ".html"):
            lines += [f"[HKEY_CLASSES_ROOT\\{extension}]", '@="ZarizaStub"', ""]
        lines += [
            "[HKEY_CLASSES_ROOT\\ZarizaStub\\shell\\open\\command]",
            '@="' + command.replace("\\", "\\\\").replace('"', '\\"') + '"',
            "",
        ]
        registry = scratch / "stub-browser.reg"
        registry.write_bytes(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))
        subprocess.run(["wine", "regedit", "/S", str(registry)], env=self.environment, check=True)

    def recorded_launches(self):
        if not self.launches.exists():
            return []
        lines = self.launches.read_text(errors="replace").splitlines()
        return [line.strip().strip('"')[2:].replace("\\", "/") for line in lines if line.strip()]

    def perform(self, step):
        if isinstance(step, Type):
            # Wine loses keys typed while it still reads the keymap xdotool changes for each
            # Chinese character: one key at a time, with a pause after each.
            self.desktop.xdotool("windowactivate", "--sync", self.main_window)
            keys = [("key", "ctrl+a")]
            for number, line in enumerate(step.text.split("\n")):
                keys += [("key", "Return")] if number else []
                keys += [("type", character) for character in line]
            for command, key in keys:
                self.desktop.xdotool(command, key)
                time.sleep(0.05)
        elif isinstance(step, ChooseFile):
            window, _ = self.wait_for_active(step.title)
            self.desktop.xdotool("key", "ctrl+a")
            self.desktop.xdotool("type", "--delay", "8", windows_path(self.work / step.name))
            self.desktop.xdotool("key", "Return")
            self.wait_until_gone(window)
        elif isinstance(step, EndSession):
            # wineboot waits for every program's answer; the road answers the question meanwhile.
            subprocess.Popen(
                ["wine", "wineboot", "--end-session"],
                env=self.environment,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
            )
        elif isinstance(step, ExpectSessionEnded):
            try:
                status = self.process.wait(timeout=drive_window.PATIENCE)
            except subprocess.TimeoutExpired:
                raise RoadFailed("the program did not end with the session")
            if status not in (0, -9):
                raise RoadFailed(f"the program exited with {status}")
        else:
            super().perform(step)


def main(arguments):
    if len(arguments) < 1:
        print(__doc__, file=sys.stderr)
        return 2
    missing = drive_window.missing_tools("wine", "Xvfb", "xdotool")
    if missing:
        return drive_window.skip(missing)
    wanted = arguments[1:]
    roads = [road for road in ROADS if not wanted or any(part in road.name for part in wanted)]
    return drive_window.drive(str(Path(arguments[0]).resolve()), roads, WineSession)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

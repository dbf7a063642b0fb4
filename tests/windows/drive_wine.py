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
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
import drive_window  # noqa: E402
from drive_window import Answer, ExpectExit, ExpectRunning, Road, Session  # noqa: E402

ROAD_NAMES = [
    "type and generate: GBK bytes with CR LF",
    "type and generate: a page declaring UTF-8 is written in UTF-8",
    "open a multi-line GBK file and generate it back unchanged",
    "preview: Cs.htm is written and handed to the default browser",
    "preview after opening from a folder: Cs.htm lands beside the opened file",
    "close with Alt+F4: Cancel keeps the window, OK exits with 0",
]


@dataclass
class EndSession:
    """Windows asks every program whether the session may end (WM_QUERYENDSESSION)."""


ROADS = [road for road in drive_window.ROADS if road.name in ROAD_NAMES] + [
    Road(
        "the session ending asks first: Cancel keeps the window, OK exits with 0",
        [
            EndSession(),
            Answer("提示", "Escape"),
            ExpectRunning(),
            EndSession(),
            Answer("提示", "Return"),
            ExpectExit(0),
        ],
        {},
    )
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
            LANG="zh_CN.UTF-8",
        )
        self.register_stub_browser(scratch)

    def register_stub_browser(self, scratch):
        """.htm and .html open with cmd.exe appending the path it is given to the record."""
        command = f'cmd.exe /c echo "%1">>"{windows_path(self.launches)}"'
        lines = ["Windows Registry Editor Version 5.00", ""]
        for extension in (".htm", ".html"):
            lines += [f"[HKEY_CURRENT_USER\\Software\\Classes\\{extension}]", '@="ZarizaStub"', ""]
        lines += [
            "[HKEY_CURRENT_USER\\Software\\Classes\\ZarizaStub\\shell\\open\\command]",
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
        if isinstance(step, drive_window.ChooseFile):
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

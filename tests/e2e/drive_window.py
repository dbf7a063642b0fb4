#!/usr/bin/env python3
"""Works the real Zariza编辑器 window on a private X server and checks what it leaves behind.

usage: drive_window.py PROGRAM [ROAD-NAME-PART ...]

Each road starts PROGRAM afresh, with its own home, XDG folders and working folder, under openbox
on an Xvfb display of its own. xdotool clicks the buttons where form1.ui puts them, types into the
text box and answers boxes and file dialogs with the keyboard, the way a user would. Afterwards the
files in the working folder, the calls made to the default browser and whether the program is still
running must be exactly what the road says.
Exit status 77 (skipped) when Xvfb or xdotool is missing.
"""

import ctypes
import os
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
import xml.etree.ElementTree as ElementTree
from dataclasses import dataclass, field
from pathlib import Path

SKIPPED = 77
HERE = Path(__file__).resolve().parent
FORM_UI = HERE.parent.parent / "app" / "form1.ui"
OPENBOX_RC = HERE / "openbox-rc.xml"
MAIN_TITLE = "Zariza编辑器"
# How long the program may take to react to anything; far more than it needs on a busy machine.
PATIENCE = 15.0
POLL = 0.03
# Lets Qt finish giving the focus to the widget in a window that has just become active.
SETTLE = 0.15

# The template <title>Zariza编辑器</title> in GBK, byte by byte, so that no encoder of ours or Python's decides the answer.
TEMPLATE_GBK = bytes.fromhex("3c7469746c653e5a6172697a61b1e0bcadc6f73c2f7469746c653e")
CRLF = b"\r\n"


def gbk_file(text):
    """A document as the program writes it in GBK: CR LF line ends plus a final CR LF."""
    return text.replace("\n", "\r\n").encode("gbk") + CRLF


def utf8_file(text):
    return text.replace("\n", "\r\n").encode("utf-8") + CRLF


# Steps of a road.


@dataclass
class Type:
    """Replaces everything in the text box with text typed on the keyboard."""

    text: str


@dataclass
class Press:
    """Clicks into the text box and presses keys there, separated by spaces."""

    key: str


@dataclass
class Click:
    """Clicks a widget of the window (its object name in form1.ui), by default with the left
    mouse button."""

    button: str
    mouse_button: str = "1"


@dataclass
class HostileClipboard:
    """Another program takes the clipboard and the mouse selection and answers pastes as
    hostile_clipboard.py does in this mode."""

    mode: str


@dataclass
class Answer:
    """Waits for the box or dialog with this title to take the focus, then presses key."""

    title: str
    key: str


@dataclass
class ChooseFile:
    """In the file dialog with this title, types the full path of name in the working folder and
    presses Return."""

    title: str
    name: str


@dataclass
class CloseWindow:
    """Asks the window manager to close the window, by "alt+F4" or by the title bar's
    "close button"."""

    via: str


@dataclass
class ExpectLaunch:
    """The default browser is given the path of name in the working folder."""

    name: str


@dataclass
class ExpectRunning:
    """The program is still running, its window active with no box or dialog in front."""


@dataclass
class Signal:
    """Sends the program a signal, such as "SIGTERM"; first waits for the box or dialog with the
    given title to take the focus, if one is named."""

    name: str
    while_shown: str = ""


@dataclass
class ExpectExit:
    status: int


@dataclass
class Road:
    name: str
    steps: list
    # Every file in the working folder afterwards, with its bytes.
    files: dict
    # Files put into the working folder before the program starts.
    given: dict = field(default_factory=dict)
    # The default browser for text/html: "stub" records what it is given, "missing" names a
    # program that is not there beside the stub registered for text/html too, "none" is no browser
    # at all (and nothing on PATH to open a page).
    browser: str = "stub"
    # Bytes any file the program writes may hold, as `ulimit -f` sets it; 0 for no limit.
    file_size_limit: int = 0


MULTILINE_GBK = "<html>\r\n<head><title>多行</title></head>\r\n\r\n<body>你好，世界</body>\r\n</html>\r\n"
UTF8_PAGE = '<meta charset="utf-8">\n<p>你好，世界</p>'
# A minified page: one line of about 1.3 MB.
MINIFIED_PAGE = ('<meta charset="utf-8"><body>' + "".join(
    f'<div class="c{n % 7}">第{n}段，很长的一行。</div>' for n in range(40000)) + "</body>"
                 ).encode("utf-8")

ROADS = [
    Road(
        "a minified page is shown for viewing: a key asks, Cancel keeps it, generate is unchanged",
        [
            Click("Command1"),
            Answer("提示", "Return"),
            ChooseFile("打开", "min.html"),
            Press("x"),
            Answer("提示", "Escape"),
            Click("Command5"),
            ChooseFile("生成", "copy.html"),
            Answer("提示", "Return"),
            ExpectRunning(),
        ],
        {"min.html": MINIFIED_PAGE, "copy.html": MINIFIED_PAGE + CRLF},
        given={"min.html": MINIFIED_PAGE},
    ),
    Road(
        "paste: an owner offering nothing, refusing or gone changes nothing; copied text pastes",
        [
            step
            for mode in ("empty", "refuse", "vanish")
            for step in (HostileClipboard(mode), Press("ctrl+v"), Click("Text1", "2"))
        ]
        + [
            ExpectRunning(),
            Press("ctrl+a ctrl+c ctrl+End ctrl+v"),
            Click("Command5"),
            ChooseFile("生成", "page.htm"),
            Answer("提示", "Return"),
        ],
        {"page.htm": TEMPLATE_GBK + CRLF + TEMPLATE_GBK + CRLF + CRLF},
    ),
    Road(
        "type and generate: GBK bytes with CR LF",
        [
            Type("<p>你好，世界</p>\n<b>第二行</b>"),
            Click("Command5"),
            ChooseFile("生成", "page.htm"),
            Answer("提示", "Return"),
        ],
        {"page.htm": gbk_file("<p>你好，世界</p>\n<b>第二行</b>")},
    ),
    Road(
        "type and generate: a page declaring UTF-8 is written in UTF-8",
        [
            Type(UTF8_PAGE),
            Click("Command5"),
            ChooseFile("生成", "page.html"),
            Answer("提示", "Escape"),
        ],
        {"page.html": utf8_file(UTF8_PAGE)},
    ),
    Road(
        "save: a name typed without extension is used as typed",
        [
            Type("<p>保存</p>"),
            Click("Command3"),
            ChooseFile("保存", "笔记"),
            Answer("提示", "Return"),
        ],
        {"笔记": gbk_file("<p>保存</p>")},
    ),
    Road(
        "save: cancelling the dialog writes nothing",
        [Click("Command3"), Answer("保存", "Escape"), ExpectRunning()],
        {},
    ),
    Road(
        "generate over an existing file: No keeps it, Yes replaces it",
        [
            Type("<p>新</p>"),
            Click("Command5"),
            ChooseFile("生成", "old.htm"),
            Answer("生成", "Escape"),
            Answer("生成", "Escape"),
            Click("Command5"),
            ChooseFile("生成", "old.htm"),
            Answer("生成", "alt+y"),
            Answer("提示", "Return"),
        ],
        {"old.htm": gbk_file("<p>新</p>")},
        given={"old.htm": b"old" + CRLF},
    ),
    Road(
        "open a multi-line GBK file and generate it back unchanged",
        [
            Click("Command1"),
            Answer("提示", "Return"),
            ChooseFile("打开", "source.htm"),
            Click("Command5"),
            ChooseFile("生成", "copy.htm"),
            Answer("提示", "Return"),
        ],
        {"source.htm": MULTILINE_GBK.encode("gbk"), "copy.htm": MULTILINE_GBK.encode("gbk")},
        given={"source.htm": MULTILINE_GBK.encode("gbk")},
    ),
    Road(
        "open a file with LF line ends: generated with CR LF",
        [
            Click("Command1"),
            Answer("提示", "Return"),
            ChooseFile("打开", "unix.htm"),
            Click("Command5"),
            ChooseFile("生成", "dos.htm"),
            Answer("提示", "Return"),
        ],
        {"unix.htm": "一\n二\n".encode("gbk"), "dos.htm": "一\r\n二\r\n".encode("gbk")},
        given={"unix.htm": "一\n二\n".encode("gbk")},
    ),
    Road(
        "open: Cancel on the question keeps the document and shows no dialog",
        [
            Click("Command1"),
            Answer("提示", "Escape"),
            Click("Command5"),
            ChooseFile("生成", "kept.htm"),
            Answer("提示", "Return"),
        ],
        {"source.htm": b"<p>x</p>" + CRLF, "kept.htm": TEMPLATE_GBK + CRLF + CRLF},
        given={"source.htm": b"<p>x</p>" + CRLF},
    ),
    Road(
        "new: Cancel keeps the text, OK resets it to the template",
        [
            Type("<p>旧</p>"),
            Click("Command2"),
            Answer("提示", "Escape"),
            Click("Command5"),
            ChooseFile("生成", "kept.htm"),
            Answer("提示", "Return"),
            Click("Command2"),
            Answer("提示", "Return"),
            Click("Command5"),
            ChooseFile("生成", "new.htm"),
            Answer("提示", "Return"),
        ],
        {"kept.htm": gbk_file("<p>旧</p>"), "new.htm": TEMPLATE_GBK + CRLF},
    ),
    Road(
        "preview: Cs.htm is written and handed to the default browser",
        [Click("Command4"), ExpectLaunch("Cs.htm"), ExpectRunning()],
        {"Cs.htm": TEMPLATE_GBK + CRLF + CRLF},
    ),
    Road(
        "preview after opening from a folder: Cs.htm lands beside the opened file",
        [
            Click("Command1"),
            Answer("提示", "Return"),
            ChooseFile("打开", "site/index.htm"),
            Click("Command4"),
            ExpectLaunch("site/Cs.htm"),
        ],
        {
            "site/index.htm": gbk_file("<title>站点</title>"),
            "site/Cs.htm": gbk_file("<title>站点</title>"),
        },
        given={"site/index.htm": gbk_file("<title>站点</title>")},
    ),
    Road(
        "preview of a fragment: the default browser shows it, chosen by the type, not the content",
        [Type("<p>你好</p>"), Click("Command4"), ExpectLaunch("Cs.htm"), ExpectRunning()],
        {"Cs.htm": gbk_file("<p>你好</p>")},
    ),
    Road(
        "preview with no browser and no launcher: 测试失败！ and the window goes on",
        [Click("Command4"), Answer("未知原因", "Return"), ExpectRunning()],
        {"Cs.htm": TEMPLATE_GBK + CRLF + CRLF},
        browser="none",
    ),
    Road(
        "preview with the default browser uninstalled: another browser for text/html shows it",
        [Click("Command4"), ExpectLaunch("Cs.htm"), ExpectRunning()],
        {"Cs.htm": TEMPLATE_GBK + CRLF + CRLF},
        browser="missing",
    ),
    Road(
        "save past a file-size limit: a message, and the window goes on",
        [Click("Command3"), ChooseFile("保存", "doc.Devov"), Answer("提示", "Return"), ExpectRunning()],
        {},
        file_size_limit=16,
    ),
    Road(
        "SIGTERM, SIGINT and SIGHUP ask first, once the box in front is closed; OK exits with 0",
        [
            Click("Command2"),
            Signal("SIGTERM", while_shown="提示"),
            Answer("提示", "Escape"),
            Answer("提示", "Escape"),
            ExpectRunning(),
            Click("Command5"),
            ChooseFile("生成", "page.htm"),
            Signal("SIGTERM", while_shown="提示"),
            Answer("提示", "Return"),
            Answer("提示", "Escape"),
            ExpectRunning(),
            Click("Command3"),
            Signal("SIGHUP", while_shown="保存"),
            Answer("保存", "Escape"),
            Answer("提示", "Escape"),
            ExpectRunning(),
            Signal("SIGINT"),
            Answer("提示", "Escape"),
            ExpectRunning(),
            Signal("SIGHUP"),
            Answer("提示", "Return"),
            ExpectExit(0),
        ],
        {"page.htm": TEMPLATE_GBK + CRLF + CRLF},
    ),
    Road(
        "close with Alt+F4: Cancel keeps the window, OK exits with 0",
        [
            CloseWindow("alt+F4"),
            Answer("提示", "Escape"),
            ExpectRunning(),
            CloseWindow("alt+F4"),
            Answer("提示", "Return"),
            ExpectExit(0),
        ],
        {},
    ),
    Road(
        "close with the title-bar button: Cancel keeps the window, OK exits with 0",
        [
            CloseWindow("close button"),
            Answer("提示", "Escape"),
            ExpectRunning(),
            CloseWindow("close button"),
            Answer("提示", "Return"),
            ExpectExit(0),
        ],
        {},
    ),
]


class RoadFailed(Exception):
    pass


def wait_until(what, probe, patience=PATIENCE):
    """Polls probe until it returns something truthy, and returns that."""
    deadline = time.monotonic() + patience
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise RoadFailed(f"timed out waiting for {what}")
        time.sleep(POLL)


def widget_centres():
    """Where form1.ui puts each widget: object name -> centre in window coordinates."""
    centres = {}
    for widget in ElementTree.parse(FORM_UI).iter("widget"):
        rect = widget.find("property[@name='geometry']/rect")
        if rect is None:
            continue
        x, y, width, height = (int(rect.find(part).text) for part in ("x", "y", "width", "height"))
        centres[widget.get("name")] = (x + width // 2, y + height // 2)
    return centres


def preload_keysyms(display, characters):
    """Binds every character beyond ASCII to a spare keycode before the program starts.

    xdotool otherwise rebinds a keycode for each such character while typing, and the program can
    read the key press before it has seen the new binding, which loses the character."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
    x11.XGetKeyboardMapping.argtypes = [
        ctypes.c_void_p,
        ctypes.c_ubyte,
        ctypes.c_int,
        ctypes.POINTER(ctypes.c_int),
    ]
    x11.XChangeKeyboardMapping.argtypes = [
        ctypes.c_void_p,
        ctypes.c_int,
        ctypes.c_int,
        ctypes.POINTER(ctypes.c_ulong),
        ctypes.c_int,
    ]
    x11.XDisplayKeycodes.argtypes = [ctypes.c_void_p] + [ctypes.POINTER(ctypes.c_int)] * 2
    x11.XFree.argtypes = [ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError(f"cannot open display {display}")
    try:
        lowest, highest = ctypes.c_int(), ctypes.c_int()
        x11.XDisplayKeycodes(connection, ctypes.byref(lowest), ctypes.byref(highest))
        count = highest.value - lowest.value + 1
        per_code = ctypes.c_int()
        table = x11.XGetKeyboardMapping(connection, lowest.value, count, ctypes.byref(per_code))
        per = per_code.value
        spare = [
            lowest.value + index
            for index in range(count)
            if not any(table[index * per + column] for column in range(per))
        ]
        x11.XFree(table)
        if len(spare) < len(characters):
            raise RuntimeError(f"{len(characters)} characters to type but {len(spare)} spare keys")
        for keycode, character in zip(spare, characters):
            keysym = 0x01000000 | ord(character)
            row = (ctypes.c_ulong * per)(*([keysym, keysym] + [0] * (per - 2)))
            x11.XChangeKeyboardMapping(connection, keycode, per, row, 1)
        x11.XSync(connection, 0)
    finally:
        x11.XCloseDisplay(connection)


WIDGET_CENTRES = widget_centres()


def characters_to_type(roads):
    typed = set()
    for road in roads:
        for step in road.steps:
            if isinstance(step, Type):
                typed.update(step.text)
            elif isinstance(step, ChooseFile):
                typed.update(step.name)
    return sorted(character for character in typed if ord(character) > 0x7E)


class Desktop:
    """An Xvfb display of its own with openbox managing it."""

    def __init__(self, scratch):
        self.scratch = scratch
        self.processes = []

    def __enter__(self):
        # A display that another X server is just giving up can vanish under a new one; start
        # afresh a couple of times before calling it a failure.
        for attempt in range(3):
            try:
                self.start(attempt)
                return self
            except RuntimeError:
                self.__exit__()
                if attempt == 2:
                    raise
            except BaseException:
                self.__exit__()
                raise
        return self

    def start(self, attempt):
        self.processes = []
        read_end, write_end = os.pipe()
        with open(self.scratch / f"xvfb-{attempt}.log", "wb") as log:
            self.processes.append(
                subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24"]
                    + ["-nolisten", "tcp"],
                    pass_fds=[write_end],
                    stdout=subprocess.DEVNULL,
                    stderr=log,
                )
            )
        os.close(write_end)
        # Xvfb writes the display number it took once it accepts clients.
        number = b""
        deadline = time.monotonic() + PATIENCE
        while not number.endswith(b"\n"):
            if not select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))[0]:
                raise RuntimeError("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError(
                    "Xvfb exited: " + (self.scratch / f"xvfb-{attempt}.log").read_text()
                )
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.environment = {
            "PATH": os.environ.get("PATH", os.defpath),
            "DISPLAY": self.display,
            # xdotool reads the text to type in the locale's encoding.
            "LANG": "C.UTF-8",
        }

        wm_home = self.scratch / "wm-home"
        wm_home.mkdir(exist_ok=True)
        self.openbox_log = self.scratch / f"openbox-{attempt}.log"
        with open(self.openbox_log, "wb") as log:
            self.processes.append(
                subprocess.Popen(
                    ["openbox", "--config-file", str(OPENBOX_RC), "--sm-disable"],
                    env=dict(self.environment, HOME=str(wm_home)),
                    stdout=log,
                    stderr=subprocess.STDOUT,
                )
            )
        wait_until("openbox to manage the display", self.window_manager_running)

    def __exit__(self, *exception):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def window_manager_running(self):
        if self.processes[-1].poll() is not None:
            raise RuntimeError("openbox exited: " + self.openbox_log.read_text())
        probe = subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
            env=self.environment,
            capture_output=True,
            text=True,
        )
        return "window id" in probe.stdout

    def run(self, *command):
        result = subprocess.run(
            command, env=self.environment, capture_output=True, text=True, timeout=PATIENCE
        )
        if result.returncode != 0:
            raise RoadFailed(f"{' '.join(command)}: {result.stderr.strip()}")
        return result.stdout

    def xdotool(self, *arguments):
        return self.run("xdotool", *arguments)

    def active_window(self):
        """The active window's id and title, or None while no window is active."""
        window = subprocess.run(
            ["xdotool", "getactivewindow"], env=self.environment, capture_output=True, text=True
        ).stdout.strip()
        if not window:
            return None
        name = subprocess.run(
            ["xdotool", "getwindowname", window],
            env=self.environment,
            capture_output=True,
            text=True,
        )
        return (window, name.stdout.rstrip("\n")) if name.returncode == 0 else None


def has_title(window_title, title):
    # Qt may follow a dialog's title with " — " and the program's display name.
    return window_title == title or window_title.startswith(title + " \u2014 ")


class Session:
    """One run of the program along one road."""

    def __init__(self, desktop, program, road, scratch):
        self.desktop = desktop
        self.road = road
        self.work = scratch / "work"
        self.launches = scratch / "launches"
        self.log = scratch / "program.log"
        self.launches_seen = []

        home = scratch / "home"
        config = scratch / "config"
        data = scratch / "data"
        runtime = scratch / "runtime"
        for folder in (self.work, home, config, data / "applications", runtime):
            folder.mkdir(parents=True)
        runtime.chmod(0o700)
        for name, content in road.given.items():
            (self.work / name).parent.mkdir(parents=True, exist_ok=True)
            (self.work / name).write_bytes(content)

        # The default browser: a desktop entry for text/html whose program records its argument,
        # one line a call, and replaces the record whole so that it is never seen half written.
        stub = scratch / "stub-browser"
        stub.write_text(
            "#!/bin/sh\n"
            f'{{ cat "{self.launches}" 2>/dev/null\n'
            '  if [ $# -eq 1 ]; then printf "%s\\n" "$1"\n'
            '  else printf "%s arguments: %s\\n" $# "$*"; fi\n'
            f'}} > "{self.launches}.part" && mv "{self.launches}.part" "{self.launches}"\n'
        )
        stub.chmod(0o755)
        if road.browser != "none":
            browser = stub if road.browser == "stub" else scratch / "uninstalled-browser"
            (data / "applications" / "stub-browser.desktop").write_text(
                "[Desktop Entry]\nType=Application\nName=Stub browser\n"
                f"Exec={browser} %u\nMimeType=text/html;\n"
            )
            (config / "mimeapps.list").write_text(
                "[Default Applications]\ntext/html=stub-browser.desktop\n"
            )
        if road.browser == "missing":
            (data / "applications" / "other-browser.desktop").write_text(
                "[Desktop Entry]\nType=Application\nName=Other browser\n"
                f"Exec={stub} %u\nMimeType=text/html;\n"
            )

        path = desktop.environment["PATH"]
        system_data = "/usr/local/share:/usr/share"
        if road.browser != "stub":
            # The system's browsers stay out; with "none", xdg-open too.
            empty = scratch / "empty"
            empty.mkdir()
            system_data = str(empty)
            if road.browser == "none":
                path = system_data
        environment = {
            "PATH": path,
            "DISPLAY": desktop.display,
            "HOME": str(home),
            "XDG_CONFIG_HOME": str(config),
            "XDG_DATA_HOME": str(data),
            "XDG_CACHE_HOME": str(scratch / "cache"),
            "XDG_RUNTIME_DIR": str(runtime),
            "XDG_DATA_DIRS": system_data,
            "XDG_CONFIG_DIRS": "/etc/xdg",
            "LANG": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            "NO_AT_BRIDGE": "1",
        }
        self.command = [program]
        self.environment = environment
        self.process = None
        self.main_window = None
        self.clipboard_owner = None

    def start(self):
        limit = self.road.file_size_limit

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        with open(self.log, "wb") as log:
            # Popen gives the program the default action for SIGXFSZ back, which Python ignores.
            self.process = subprocess.Popen(
                self.command,
                cwd=self.work,
                env=self.environment,
                stdin=subprocess.DEVNULL,
                stdout=log,
                stderr=subprocess.STDOUT,
                preexec_fn=limit_file_size if limit else None,
            )
        self.main_window = self.wait_for_active(MAIN_TITLE)[0]

    def stop(self):
        self.stop_clipboard_owner()
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def stop_clipboard_owner(self):
        if self.clipboard_owner:
            self.clipboard_owner.kill()
            self.clipboard_owner.wait()
            self.clipboard_owner.stdout.close()

    def wait_for_active(self, title):
        def probe():
            if self.process.poll() is not None:
                raise RoadFailed(f"the program exited with {self.process.returncode}")
            active = self.desktop.active_window()
            return active if active and has_title(active[1], title) else None

        return wait_until(f"a window titled {title!r} to take the focus", probe)

    def wait_until_gone(self, window):
        """Waits until the given window has stopped being the active one."""

        def probe():
            if self.process.poll() is not None:
                return True
            active = self.desktop.active_window()
            return active is not None and active[0] != window

        wait_until("the window to close", probe)

    def perform(self, step):
        desktop = self.desktop
        if isinstance(step, Type):
            desktop.xdotool("windowactivate", "--sync", self.main_window)
            desktop.xdotool("key", "ctrl+a")
            # xdotool types "\n" as Linefeed, which the text box ignores; a user presses Return.
            for number, line in enumerate(step.text.split("\n")):
                if number:
                    desktop.xdotool("key", "Return")
                if line:
                    desktop.xdotool("type", "--delay", "8", line)
        elif isinstance(step, Press):
            x, y = WIDGET_CENTRES["Text1"]
            desktop.xdotool("mousemove", "--window", self.main_window, str(x), str(y), "click", "1")
            desktop.xdotool("key", *step.key.split())
        elif isinstance(step, Click):
            x, y = WIDGET_CENTRES[step.button]
            desktop.xdotool("mousemove", "--window", self.main_window, str(x), str(y))
            desktop.xdotool("click", step.mouse_button)
        elif isinstance(step, HostileClipboard):
            self.stop_clipboard_owner()
            self.clipboard_owner = subprocess.Popen(
                [HERE / "hostile_clipboard.py", step.mode],
                env=desktop.environment,
                stdout=subprocess.PIPE,
            )
            if self.clipboard_owner.stdout.readline() != b"ready\n":
                raise RoadFailed("the clipboard owner did not take the selections")
        elif isinstance(step, Answer):
            window, _ = self.wait_for_active(step.title)
            time.sleep(SETTLE)
            desktop.xdotool("key", step.key)
            self.wait_until_gone(window)
        elif isinstance(step, ChooseFile):
            window, _ = self.wait_for_active(step.title)
            time.sleep(SETTLE)
            # The name line edit may hold the last name chosen; replace it.
            desktop.xdotool("key", "ctrl+a")
            desktop.xdotool("type", "--delay", "8", str(self.work / step.name))
            time.sleep(SETTLE)
            desktop.xdotool("key", "Return")
            self.wait_until_gone(window)
        elif isinstance(step, CloseWindow):
            desktop.xdotool("windowactivate", "--sync", self.main_window)
            if step.via == "alt+F4":
                desktop.xdotool("key", "alt+F4")
            else:
                x, y = self.close_button()
                desktop.xdotool("mousemove", str(x), str(y), "click", "1")
        elif isinstance(step, ExpectLaunch):
            expected = os.path.realpath(self.work / step.name)
            self.launches_seen.append(expected)
            wait_until(f"the default browser to be given {step.name}", self.launched_enough)
            recorded = [os.path.realpath(line) for line in self.recorded_launches()]
            if recorded != self.launches_seen:
                raise RoadFailed(f"the default browser was given {recorded}")
        elif isinstance(step, ExpectRunning):
            time.sleep(SETTLE)
            if self.process.poll() is not None:
                raise RoadFailed(f"the program exited with {self.process.returncode}")
            active = desktop.active_window()
            if active is None or active[0] != self.main_window:
                raise RoadFailed(f"the window is not shown with nothing in front: {active}")
        elif isinstance(step, Signal):
            if step.while_shown:
                self.wait_for_active(step.while_shown)
                time.sleep(SETTLE)
            self.process.send_signal(getattr(signal, step.name))
        elif isinstance(step, ExpectExit):
            try:
                status = self.process.wait(timeout=PATIENCE)
            except subprocess.TimeoutExpired:
                raise RoadFailed("the program did not exit")
            if status != step.status:
                raise RoadFailed(f"the program exited with {status}, not {step.status}")
        else:
            raise TypeError(step)

    def close_button(self):
        """The centre of the close button, which ends the title bar on the right."""
        info = self.desktop.run("xwininfo", "-id", self.main_window)
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        left = int(values["Absolute upper-left X"])
        top = int(values["Absolute upper-left Y"])
        width = int(values["Width"])
        extents = self.desktop.run("xprop", "-id", self.main_window, "_NET_FRAME_EXTENTS")
        _, right, title_bar, _ = (int(part) for part in extents.split("=")[1].split(","))
        return left + width + right - title_bar // 2, top - title_bar // 2

    def recorded_launches(self):
        return self.launches.read_text().splitlines() if self.launches.exists() else []

    def launched_enough(self):
        return len(self.recorded_launches()) >= len(self.launches_seen)

    def check_outcome(self):
        found = {
            path.relative_to(self.work).as_posix(): path.read_bytes()
            for path in sorted(self.work.rglob("*"))
            if path.is_file()
        }
        if found != self.road.files:
            lines = ["the working folder holds the wrong files:"]
            for name in sorted(set(found) | set(self.road.files)):
                if found.get(name) != self.road.files.get(name):
                    lines.append(f"  {name}: expected {self.road.files.get(name)!r}")
                    lines.append(f"  {' ' * len(name)}  found    {found.get(name)!r}")
            raise RoadFailed("\n".join(lines))
        recorded = [os.path.realpath(line) for line in self.recorded_launches()]
        if recorded != self.launches_seen:
            raise RoadFailed(f"the default browser was given {recorded}")
        exits = any(isinstance(step, ExpectExit) for step in self.road.steps)
        if not exits and self.process.poll() is not None:
            raise RoadFailed(f"the program exited with {self.process.returncode}")


def travel(desktop, program, road, session_class=Session):
    with tempfile.TemporaryDirectory(prefix="zariza-e2e-") as scratch:
        session = session_class(desktop, program, road, Path(scratch))
        try:
            session.start()
            for number, step in enumerate(road.steps, 1):
                try:
                    session.perform(step)
                except RoadFailed as failure:
                    raise RoadFailed(f"step {number} {step}: {failure}") from None
            session.check_outcome()
        except RoadFailed:
            session.stop()
            if session.log.exists():
                print(session.log.read_text(errors="replace"), end="", file=sys.stderr)
            raise
        finally:
            session.stop()


def missing_tools(*tools):
    return [tool for tool in tools if shutil.which(tool) is None]


def skip(missing):
    print(f"skipped: {' and '.join(missing)} not installed", file=sys.stderr)
    return SKIPPED


PRIVATE_BUS = "ZARIZA_E2E_PRIVATE_BUS"


def on_private_bus():
    """Runs this script again on a D-Bus session bus of its own, which ends with it, so that
    nothing it starts meets the desktop's services (or those of a test beside it)."""
    if os.environ.get(PRIVATE_BUS) != "1":
        command = ["dbus-run-session", "--", sys.executable, *sys.argv]
        os.execvpe(command[0], command, dict(os.environ, **{PRIVATE_BUS: "1"}))


def drive_on_private_bus(arguments, usage, missing, roads, session_class):
    """The main of a script that drives the program named in `arguments` along `roads` on a
    D-Bus session bus of its own; skipped when something it needs is `missing`."""
    if len(arguments) != 1:
        print(usage, file=sys.stderr)
        return 2
    if missing:
        return skip(missing)
    on_private_bus()
    return drive(str(Path(arguments[0]).resolve()), roads, session_class)


def drive(program, roads, session_class=Session):
    """Travels each road on one private desktop and says how each went; the exit status."""
    failures = 0
    with tempfile.TemporaryDirectory(prefix="zariza-e2e-desktop-") as scratch:
        with Desktop(Path(scratch)) as desktop:
            preload_keysyms(desktop.display, characters_to_type(roads))
            for road in roads:
                started = time.monotonic()
                try:
                    travel(desktop, program, road, session_class)
                    print(f"ok    {road.name} ({time.monotonic() - started:.1f} s)", flush=True)
                except RoadFailed as failure:
                    failures += 1
                    print(f"FAIL  {road.name}: {failure}", flush=True)
                except Exception:
                    failures += 1
                    print(f"FAIL  {road.name}:\n{traceback.format_exc()}", flush=True)
    print(f"{len(roads) - failures} of {len(roads)} roads passed")
    return 1 if failures else 0


def main(arguments):
    if len(arguments) < 1:
        print(__doc__, file=sys.stderr)
        return 2
    missing = missing_tools("Xvfb", "xdotool")
    if missing:
        return skip(missing)
    program = str(Path(arguments[0]).resolve())
    wanted = arguments[1:]
    roads = [road for road in ROADS if not wanted or any(part in road.name for part in wanted)]
    if not roads:
        print(f"no road matches {wanted}", file=sys.stderr)
        return 2
    return drive(program, roads)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

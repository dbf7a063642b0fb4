"""A private X server with a window manager, and what bench/peers.py reads off it.

An Xvfb of its own (1280x1024x24) with openbox, and one X connection that sees every top-level
window created, mapped and painted (the DAMAGE extension), answers whether a program's event loop
is free (_NET_WM_PING), and types and clicks through XTEST. Debian's Python, for python3-xlib.
"""

import ctypes
import os
import select
import struct
import subprocess
import sys
import time

from Xlib import X, XK, display
from Xlib.ext import damage, xtest
from Xlib.protocol import event as xevent

# A damaged rectangle smaller than this is a blinking caret, not content being painted.
MIN_PAINT_AREA = 400
MIN_PAINT_WIDTH = 8
LARGE_PAINT_SHARE = 0.25
# A program that loads in the background answers pings before its text is painted; the text is
# taken as painted once no large paint followed for this long while it answered, or for the
# shorter time while it used almost no processor either.
SETTLED_ANSWERING = 2.0
SETTLED_QUIET = 0.3


def now():
    return time.perf_counter()


class Server:
    """Xvfb and openbox, for as long as the `with` block lasts."""

    def __init__(self, home):
        self.home = home
        self.processes = []
        self.name = None

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.processes.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL))
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                self.__exit__()
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()
        self._start_window_manager()
        return self

    def _start_window_manager(self):
        environment = dict(os.environ, DISPLAY=self.name, HOME=self.home)
        self.log = os.path.join(self.home, "openbox.log")
        with open(self.log, "ab") as log:
            self.processes.append(subprocess.Popen(["openbox"], env=environment, stdout=log,
                                                   stderr=subprocess.STDOUT))
        self._wait_for_window_manager()

    def keep_window_manager(self):
        """Starts openbox again if it ended, saying why it did."""
        openbox = self.processes[-1]
        if openbox.poll() is None:
            return
        with open(self.log, encoding="utf-8", errors="replace") as log:
            print(f"xsession: openbox ended ({openbox.returncode}), restarted: "
                  + log.read()[-2000:], file=sys.stderr)
        self.processes.pop()
        self._start_window_manager()

    def _wait_for_window_manager(self):
        connection = display.Display(self.name)
        check = connection.intern_atom("_NET_SUPPORTING_WM_CHECK")
        deadline = now() + 20
        while connection.screen().root.get_full_property(check, X.AnyPropertyType) is None:
            if now() > deadline:
                connection.close()
                self.__exit__()
                raise RuntimeError("openbox did not start")
            time.sleep(0.05)
        connection.close()

    def __exit__(self, *_):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


class FileWatch:
    """inotify on one folder: when a file there was last closed after writing or renamed in."""

    IN_CLOSE_WRITE, IN_MOVED_TO, IN_NONBLOCK = 0x8, 0x80, 0o4000

    def __init__(self, folder):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(self.IN_NONBLOCK)
        if self.fd < 0 or self.libc.inotify_add_watch(
                self.fd, os.fsencode(folder), self.IN_CLOSE_WRITE | self.IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify")
        self.written = {}

    def read(self, when):
        try:
            data = os.read(self.fd, 65536)
        except BlockingIOError:
            return
        offset = 0
        while offset < len(data):
            _, _, _, length = struct.unpack_from("iIII", data, offset)
            name = data[offset + 16:offset + 16 + length].rstrip(b"\0").decode()
            self.written[name] = when
            offset += 16 + length

    def close(self):
        os.close(self.fd)


class Window:
    def __init__(self, created):
        self.created = created
        self.mapped = None
        self.paints = []  # (time, width, height, share of the window) of each damaged rectangle


class Watch:
    """The timing's own X connection; records window events as they arrive."""

    def __init__(self, display_name):
        self.connection = display.Display(display_name)
        self.connection.set_error_handler(lambda *_: None)  # windows may vanish at any time
        self.connection.damage_query_version()
        self.root = self.connection.screen().root
        # Qt answers pings to the root's StructureNotify listeners, GTK to its
        # SubstructureNotify ones.
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask | X.StructureNotifyMask)
        self.protocols = self.connection.intern_atom("WM_PROTOCOLS")
        self.ping_atom = self.connection.intern_atom("_NET_WM_PING")
        self.damage_event = self.connection.extension_event.DamageNotify
        self.files = None
        self.sequence = 0
        self.reset()

    def reset(self):
        self.windows, self.frames, self.maps, self.pongs = {}, {}, [], {}

    def close(self):
        self.connection.close()

    def pump(self, timeout):
        """Handles the events that arrive within `timeout` seconds (at least those queued)."""
        self.connection.flush()
        if self.connection.pending_events():
            timeout = 0
        readers = [self.connection] + ([self.files.fd] if self.files else [])
        ready, _, _ = select.select(readers, [], [], max(timeout, 0))
        when = now()
        if self.files and self.files.fd in ready:
            self.files.read(when)
        while self.connection.pending_events():
            self._handle(self.connection.next_event(), when)

    def _handle(self, event, when):
        if event.type == X.CreateNotify and not event.override:
            self.windows[event.window.id] = Window(when)
            event.window.damage_create(damage.DamageReportRawRectangles)
        elif event.type == X.ReparentNotify:
            self.frames[event.parent.id] = event.window.id
        elif event.type == X.MapNotify and not event.override:
            client = self.frames.get(event.window.id, event.window.id)
            if client in self.windows and self.windows[client].mapped is None:
                self.windows[client].mapped = when
                self.maps.append(client)
        elif event.type == self.damage_event:
            window = self.windows.get(event.drawable.id)
            if window:
                whole = event.drawable_geometry
                share = event.area.width * event.area.height / max(1, whole.width * whole.height)
                window.paints.append((when, event.area.width, event.area.height, share))
        elif (event.type == X.ClientMessage and event.client_type == self.protocols
              and event.data[1][0] == self.ping_atom):
            self.pongs.setdefault(event.data[1][1], when)

    def ping(self, client):
        self.sequence = (self.sequence + 1) & 0x7FFFFFFF
        message = xevent.ClientMessage(
            window=client, client_type=self.protocols,
            data=(32, [self.ping_atom, self.sequence, client, 0, 0]))
        self.connection.create_resource_object("window", client).send_event(message)
        self.connection.flush()
        return self.sequence

    def answer(self, client, deadline):
        """When `client` has handled everything sent before now. Qt answers a ping as soon as
        it reads it, before the input read with it, so this is the answer to a second ping sent
        once the first is answered."""
        for _ in range(2):
            sequence = self.ping(client)
            self.wait(lambda: sequence in self.pongs, deadline, "no answer to a ping")
        return self.pongs[sequence]

    def content_paints(self, client, since):
        """Times of the paints of `client` after `since` larger than a caret."""
        return [when for when, width, height, _ in self.windows[client].paints
                if when >= since and width >= MIN_PAINT_WIDTH and width * height >= MIN_PAINT_AREA]

    def large_paints(self, client, since):
        """Times of the paints of `client` after `since` that cover a quarter of it or more: a new
        page of text, not a caret, a scroll bar or a status line."""
        return [when for when, _, _, share in self.windows[client].paints
                if when >= since and share >= LARGE_PAINT_SHARE]

    def wait(self, condition, deadline, what):
        while not condition():
            if now() > deadline:
                raise TimeoutError(what)
            self.pump(min(0.002, deadline - now()))

    def wait_for_map(self, since_count, deadline, what="a window"):
        """The next top-level window mapped after the first `since_count`."""
        self.wait(lambda: len(self.maps) > since_count, deadline, f"{what} was not mapped")
        return self.maps[since_count]

    def wait_idle(self, client, trigger, deadline, alive):
        """When `client` has painted after `trigger` and then answered a ping: the later of that
        answer and the last paint before it."""
        pending = None
        while True:
            if not alive():
                raise RuntimeError("the program ended")
            if pending in self.pongs:
                paints = self.content_paints(client, trigger)
                if paints and paints[0] <= self.pongs[pending]:
                    return max(max(p for p in paints if p <= self.pongs[pending]),
                               self.pongs[pending])
                pending = None
            if pending is None:
                pending = self.ping(client)
            if now() > deadline:
                raise TimeoutError("no paint and answer to a ping in time")
            self.pump(0.002)

    def settle(self, client, trigger, deadline, busy, alive):
        """When `client` has painted a page after `trigger` and settled (see SETTLED_*): the later
        of its last large paint and the first answer to a ping after it. `busy()` says whether
        the program used the processor lately. Returns (that time, the answers' arrival times)."""
        answers, pending, sent = [], None, 0
        while True:
            if not alive():
                raise RuntimeError("the program ended")
            if pending in self.pongs:
                answers.append(self.pongs[pending])
                pending = None
            if pending is None and now() - sent >= 0.002:
                pending, sent = self.ping(client), now()
            working = busy()  # sampled all along, to judge the last SETTLED_QUIET seconds
            large = self.large_paints(client, trigger)
            later = [answer for answer in answers if large and answer >= large[-1]]
            if later:
                calm = later[-1] - large[-1]
                if calm >= SETTLED_ANSWERING or (calm >= SETTLED_QUIET and not working):
                    return max(large[-1], later[0]), answers
            if now() > deadline:
                raise TimeoutError(
                    f"no page painted, or it did not settle, in time ({len(large)} large paints, "
                    f"{len(answers)} answers, {len(later)} after the last paint)")
            self.pump(0.002)

    # Input through XTEST, as from a keyboard and mouse.

    def key(self, name, modifiers=()):
        """Presses and releases a key by its keysym name ('Return', 'a', 'End'), with modifiers."""
        codes = [self.connection.keysym_to_keycode(XK.string_to_keysym(m)) for m in modifiers]
        code = self.connection.keysym_to_keycode(XK.string_to_keysym(name))
        for modifier in codes:
            xtest.fake_input(self.connection, X.KeyPress, modifier)
        xtest.fake_input(self.connection, X.KeyPress, code)
        xtest.fake_input(self.connection, X.KeyRelease, code)
        for modifier in reversed(codes):
            xtest.fake_input(self.connection, X.KeyRelease, modifier)
        self.connection.flush()

    def type_text(self, text):
        names = {"/": "slash", ".": "period", "-": "minus", "_": "underscore", " ": "space"}
        for char in text:
            name = names.get(char, char)
            keysym = XK.string_to_keysym(name)
            code = self.connection.keysym_to_keycode(keysym)
            shifted = self.connection.keycode_to_keysym(code, 0) != keysym
            self.key(name, ("Shift_L",) if shifted else ())

    def click(self, client, x, y):
        window = self.connection.create_resource_object("window", client)
        position = self.root.translate_coords(window, x, y)
        xtest.fake_input(self.connection, X.MotionNotify, x=position.x, y=position.y)
        xtest.fake_input(self.connection, X.ButtonPress, 1)
        xtest.fake_input(self.connection, X.ButtonRelease, 1)
        self.connection.flush()

"""The steps bench/peers.py times, for one program at a time on the X server of bench/xsession.py.

Every program is started afresh for each step and killed after it. The other editors are handed
the file on their command line; this editor takes no arguments, so it opens and saves through its
buttons and file dialogs, typed into as a user would, and is timed from the Return that confirms
the dialog.
"""

import os
import shutil
import signal
import subprocess
import time

from xsession import FileWatch, now

STEP_SECONDS = 60
# A folder for a picture of the screen as each step ends (peers.py --shots), to see what was timed.
shots = None
TYPED_KEYS = 40
# Centres of the 打 开 (Command1) and 保 存 (Command3) buttons in the editor's window (app/form1.ui).
OPEN_BUTTON = (120, 272)
NEW_BUTTON = (200, 272)
SAVE_BUTTON = (280, 272)
TEXT_BOX = (200, 130)


class Processor:
    """The processor time of a process, its threads included, sampled as the steps wait."""

    TICK = os.sysconf("SC_CLK_TCK")

    def __init__(self, pid):
        self.pid = pid
        self.samples = []

    def seconds(self):
        # /proc/PID/stat counts threads that have ended too, such as a loader's.
        try:
            with open(f"/proc/{self.pid}/stat", encoding="ascii") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            return 0
        return (int(fields[11]) + int(fields[12])) / self.TICK

    def busy(self, window=0.3, share=0.1):
        """Whether it used more than `share` of a core over the last `window` seconds."""
        moment = now()
        self.samples.append((moment, self.seconds()))
        self.samples = [s for s in self.samples if s[0] >= moment - window - 0.1]
        start = next((s for s in self.samples if s[0] >= moment - window - 0.02), None)
        if start is None or moment - start[0] < window * 0.8:
            return True
        return (self.samples[-1][1] - start[1]) / (moment - start[0]) > share


class Running:
    """One program started on the X server, with its main window once mapped."""

    def __init__(self, watch, argv, environment):
        self.watch = watch
        self.name = os.path.basename(argv[0])
        watch.reset()
        self.started = now()
        self.process = subprocess.Popen(argv, env=environment, cwd=environment["HOME"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        self.processor = Processor(self.process.pid)
        self.window = watch.wait_for_map(0, self.deadline(), "its window")

    def deadline(self):
        return now() + STEP_SECONDS

    def alive(self):
        return self.process.poll() is None

    def status_mb(self, field):
        with open(f"/proc/{self.process.pid}/status", encoding="ascii") as status:
            for line in status:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) / 1024
        return None

    def idle(self, trigger, window=None):
        return self.watch.wait_idle(window or self.window, trigger, self.deadline(), self.alive)

    def settle(self, trigger):
        return self.watch.settle(self.window, trigger, self.deadline(), self.processor.busy,
                                 self.alive)

    def answers_until(self, condition):
        """Pings all along until `condition()` holds; the answers' arrival times."""
        answers, pending, deadline = [], None, self.deadline()
        while not condition():
            if pending in self.watch.pongs:
                answers.append(self.watch.pongs[pending])
                pending = None
            if pending is None:
                pending = self.watch.ping(self.window)
            if now() > deadline:
                raise TimeoutError("the step did not end in time")
            self.watch.pump(0.002)
        return answers

    def dialog(self, press):
        """Acts, then waits for the window it opens to be ready for keys; returns that window."""
        count = len(self.watch.maps)
        press()
        window = self.watch.wait_for_map(count, self.deadline(), "a dialog")
        self.idle(self.watch.windows[window].mapped, window)
        return window

    def type_into(self, window, text):
        """Types into `window` over whatever it offered, and waits until it handled every key."""
        self.watch.key("a", ("Control_L",))
        self.watch.type_text(text)
        self.watch.answer(window, self.deadline())

    def unexpected_windows(self, since):
        return [w for w in self.watch.maps if w != self.window
                and self.watch.windows[w].mapped >= since]

    def stop(self):
        if shots:
            picture = os.path.join(shots, f"{self.name}-{time.strftime('%H%M%S')}.png")
            subprocess.run(["import", "-display", self.watch.connection.get_display_name(),
                            "-window", "root", picture], check=False)
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()


class Program:
    """How to start one program: `argv(path, encoding)`, path None for an empty window."""

    def __init__(self, key, label, argv, environment=None, via_dialogs=False):
        self.key, self.label, self.argv = key, label, argv
        self.environment = environment or {}
        self.via_dialogs = via_dialogs


def start(watch, program, environment, path=None, encoding=None):
    argv = program.argv(None if program.via_dialogs else path, encoding)
    return Running(watch, argv, dict(environment, **program.environment))


def open_page(run, program, path):
    """Opens `path` in a started program and waits until it is painted and settled; returns
    (trigger, done, answers): from the program's start for a file on its command line, from the
    dialog's Return for this editor."""
    watch = run.watch
    trigger = run.started
    if program.via_dialogs:
        run.idle(run.started)
        run.dialog(lambda: watch.click(run.window, *OPEN_BUTTON))  # 将清除原有代码确认打开？
        chooser = run.dialog(lambda: watch.key("Return"))
        run.type_into(chooser, path)
        trigger = now()
        watch.key("Return")
    done, answers = run.settle(trigger)
    strangers = run.unexpected_windows(trigger)
    if strangers:
        raise RuntimeError(f"a window appeared while opening: {window_name(watch, strangers[0])}")
    return trigger, done, answers


def window_name(watch, window):
    name = watch.connection.create_resource_object("window", window).get_wm_name()
    return name or hex(window)


def longest_gap(trigger, done, answers):
    """The longest time without an answer to a ping between `trigger` and `done`."""
    times = [trigger] + [answer for answer in answers if answer <= done + 0.002]
    return max(later - earlier for earlier, later in zip(times, times[1:])) if len(times) > 1 \
        else done - trigger


def ms(seconds):
    return round(seconds * 1000, 2)


def measure_startup(watch, program, environment):
    run = start(watch, program, environment)
    try:
        ready = run.idle(run.started)
        first = watch.content_paints(run.window, run.started)[0]
        run.settle(run.started)
        return {"mapped_ms": ms(watch.windows[run.window].mapped - run.started),
                "first_paint_ms": ms(first - run.started), "ready_ms": ms(ready - run.started),
                "rss_mb": run.status_mb("VmRSS")}
    finally:
        run.stop()


def measure_open(watch, program, environment, page):
    run = start(watch, program, environment, page.path, page.encoding)
    try:
        trigger, done, answers = open_page(run, program, page.path)
        return {"ms": ms(done - trigger), "peak_mb": run.status_mb("VmHWM"),
                "rss_mb": run.status_mb("VmRSS"),
                "longest_freeze_ms": ms(longest_gap(trigger, done, answers)),
                "first_paint_ms": ms(watch.content_paints(run.window, trigger)[0] - trigger)}
    finally:
        run.stop()


def go_to_first_line_end(run, program):
    if program.via_dialogs:  # the focus stayed on the button that opened the page
        run.watch.click(run.window, *TEXT_BOX)
        run.watch.answer(run.window, run.deadline())
        time.sleep(0.1)  # Qt may yet move the cursor to the click after an answer
    run.watch.key("Home", ("Control_L",))
    run.watch.key("End")
    run.watch.answer(run.window, run.deadline())


def measure_typing(watch, program, environment, page):
    """Keys typed one after another, each once the last is painted; the mean time per key."""
    run = start(watch, program, environment, page.path, page.encoding)
    try:
        open_page(run, program, page.path)
        go_to_first_line_end(run, program)
        first = now()
        for _ in range(TYPED_KEYS):
            typed = now()
            watch.key("a")
            done = run.idle(typed)
        return {"ms": ms((done - first) / TYPED_KEYS)}
    finally:
        run.stop()


def measure_save(watch, program, environment, page, folder):
    """Opens a copy of the page, types one character and saves: until the file is complete on
    disk and the program answers again. Also whether it answered before the file was written."""
    os.makedirs(folder)
    copy = shutil.copyfile(page.path, os.path.join(folder, os.path.basename(page.path)))
    target = os.path.splitext(copy)[0] + ".Devov" if program.via_dialogs else copy
    watch.files = FileWatch(folder)
    run = None
    try:
        run = start(watch, program, environment, copy, page.encoding)
        open_page(run, program, copy)
        go_to_first_line_end(run, program)
        typed = now()
        watch.key("a")
        run.idle(typed)
        if program.via_dialogs:
            chooser = run.dialog(lambda: watch.click(run.window, *SAVE_BUTTON))
            run.type_into(chooser, target)
            trigger = now()
            watch.key("Return")
        else:
            trigger = now()
            watch.key("s", ("Control_L",))
        name = os.path.basename(target)
        answers = run.answers_until(lambda: watch.files.written.get(name, 0) >= trigger)
        written = watch.files.written[name]
        answered = watch.answer(run.window, run.deadline())
        saved_as = check_saved(page.path, target, exact=program.via_dialogs)
        done = max(written, answered)
        return {"ms": ms(done - trigger),
                "longest_freeze_ms": ms(longest_gap(trigger, done, answers + [answered])),
                # The answer to a ping sent once the first was answered: the key was handled.
                "background": len(answers) > 1 and answers[1] < written - 0.01,
                "saved_as": saved_as,
                "bytes": os.path.getsize(target)}
    finally:
        if run:
            run.stop()
        watch.files.close()
        watch.files = None
        shutil.rmtree(folder)


def measure_paste(watch, program, environment, page):
    """Opens the page, copies all of it, starts a new document and pastes the copy at its end:
    from the key to the paste painted and settled. Copied within the program, the text never
    goes through the X server."""
    run = start(watch, program, environment, page.path, page.encoding)
    try:
        open_page(run, program, page.path)
        go_to_first_line_end(run, program)
        watch.key("a", ("Control_L",))
        watch.key("c", ("Control_L",))
        watch.answer(run.window, run.deadline())
        if program.via_dialogs:
            run.dialog(lambda: watch.click(run.window, *NEW_BUTTON))  # 将清除原有代码确认新建？
            answered = now()
            watch.key("Return")
            run.idle(answered)  # the new document painted, the question gone
            time.sleep(0.2)
            go_to_first_line_end(run, program)
        watch.key("End", ("Control_L",))
        watch.answer(run.window, run.deadline())
        trigger = now()
        watch.key("v", ("Control_L",))
        done, answers = run.settle(trigger)
        return {"ms": ms(done - trigger),
                "longest_freeze_ms": ms(longest_gap(trigger, done, answers))}
    finally:
        run.stop()


def check_saved(original_path, saved_path, exact):
    """That the save wrote the page with the typed character, so a failed one cannot look fast:
    byte for byte for this editor, else the same text in some encoding and any line ends.
    Returns the encoding it was written in."""
    with open(original_path, "rb") as original, open(saved_path, "rb") as saved:
        before, after = original.read(), saved.read()
    line_end = before.index(b"\r\n")
    expected = before[:line_end] + b"a" + before[line_end:]
    encoding = "gbk" if b"charset=gb2312" in before[:line_end * 20] else "utf-8"
    if exact:
        if after != expected:
            raise RuntimeError(f"the saved file is not the page with the typed key, byte for "
                               f"byte ({len(after)} bytes for {len(expected)})")
        return encoding
    text = expected.decode("gb18030" if encoding == "gbk" else "utf-8")
    for candidate, codec in ((encoding, "gb18030" if encoding == "gbk" else "utf-8"),
                             ("utf-8", "utf-8")):
        try:
            written = after.decode(codec)
        except UnicodeDecodeError:
            continue
        if written.replace("\r\n", "\n").rstrip("\n") == text.replace("\r\n", "\n").rstrip("\n"):
            return candidate
    raise RuntimeError(f"the saved file is not the page with the typed key "
                       f"({len(after)} bytes for {len(expected)})")

#!/usr/bin/python3
"""Times programs from process start to their first window being mapped, on a private Xvfb.

    startup_time.py [--runs N] [--json FILE] NAME=PROGRAM NAME=PROGRAM ...

The programs take turns (A B A B ...) after one untimed warm-up each, so that both see the same
load and the same warm caches. Prints each program's median and best time and, for the first
program, its ratio to each of the others. Debian's Python, for its python3-xlib.
"""

import argparse
import json
import os
import select
import statistics
import subprocess
import sys
import time

from Xlib import X, display


def start_xvfb():
    """Starts Xvfb on a free display; returns the process and the display name."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def drain(connection):
    connection.sync()
    while connection.pending_events():
        connection.next_event()


def time_to_map(connection, program, environment, timeout):
    """Seconds from starting `program` to the first top-level window it maps."""
    drain(connection)
    start = time.perf_counter()
    process = subprocess.Popen([program], env=environment,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = start + timeout
        while True:
            while connection.pending_events():
                event = connection.next_event()
                if event.type == X.MapNotify and not event.override:
                    return time.perf_counter() - start
            remaining = deadline - time.perf_counter()
            if remaining <= 0 or process.poll() is not None:
                raise RuntimeError(f"{program} mapped no window")
            select.select([connection], [], [], remaining)
    finally:
        process.kill()
        process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--timeout", type=float, default=30)
    parser.add_argument("--json", help="also write the results here")
    parser.add_argument("programs", nargs="+", metavar="NAME=PROGRAM")
    arguments = parser.parse_args()
    programs = [entry.split("=", 1) for entry in arguments.programs]

    xvfb, display_name = start_xvfb()
    try:
        connection = display.Display(display_name)
        # Without a window manager every top-level window is a child of the root, so the root's
        # substructure events include its MapNotify.
        connection.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        environment = dict(os.environ, DISPLAY=display_name, QT_QPA_PLATFORM="xcb")
        for _, program in programs:
            time_to_map(connection, program, environment, arguments.timeout)
        times = {name: [] for name, _ in programs}
        for _ in range(arguments.runs):
            for name, program in programs:
                times[name].append(
                    time_to_map(connection, program, environment, arguments.timeout) * 1000)
        connection.close()
    finally:
        xvfb.terminate()
        xvfb.wait()

    results = {name: {"median_ms": statistics.median(values), "best_ms": min(values),
                      "runs_ms": values} for name, values in times.items()}
    for name, result in results.items():
        print(f"start-up {name:12} median {result['median_ms']:7.1f} ms"
              f"  best {result['best_ms']:7.1f} ms  ({len(result['runs_ms'])} runs)")
    first = programs[0][0]
    for name, _ in programs[1:]:
        ratio = results[first]["median_ms"] / results[name]["median_ms"]
        best_ratio = results[first]["best_ms"] / results[name]["best_ms"]
        print(f"start-up {first} over {name}: {ratio:.2f}x ({best_ratio:.2f}x best)")
    if arguments.json:
        with open(arguments.json, "w", encoding="utf-8") as out:
            json.dump(results, out, indent=2)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Times this editor beside a bare QPlainTextEdit window and other editors, on a private X server.

    bench/peers.py [--runs N] [--json FILE] [--programs A,B] [--steps A,B] BUILD_DIR

Start-up, opening 1-16 MB Chinese pages, typing and saving, each program in turn (A B C A B C
...) after one untimed warm-up round, every program started afresh for each figure. Runs default
to $PEER_RUNS or 7. Writes every run's figures to FILE (default BUILD_DIR/bench-peers.json) and
prints the medians. Debian's Python, for python3-xlib; the other editors come from
`scripts/install-deps bench`.
"""

import argparse
import datetime
import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
from collections import namedtuple
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import peer_steps  # noqa: E402
from peer_steps import Program  # noqa: E402
from xsession import Server, Watch  # noqa: E402

Page = namedtuple("Page", "path encoding")
PAGES = {"gbk 1MB": ("gbk-1MB.htm", "gbk"), "gbk 4MB": ("gbk-4MB.htm", "gbk"),
         "gbk 16MB": ("gbk-16MB.htm", "gbk"), "utf-8 16MB": ("utf-8-16MB.htm", "utf-8"),
         "2M empty lines": ("empty-lines-2M.htm", "utf-8"),
         "16MB line": ("utf-8-one-line-16MB.htm", "utf-8")}
STEPS = ["start-up", "open gbk 1MB", "open gbk 4MB", "open gbk 16MB", "open utf-8 16MB",
         "typing gbk 4MB", "save gbk 16MB", "save utf-8 16MB", "open 2M empty lines",
         "save 2M empty lines", "open 16MB line", "paste 16MB line"]
# The pathological cases, timed for this editor against its own opening of the same text (the
# bare window takes 20 s to open the empty lines and seconds a key on the long line).
ONLY = {"open 2M empty lines": {"editor"}, "save 2M empty lines": {"editor"},
        "open 16MB line": {"editor"}, "paste 16MB line": {"editor"}}
CHARSET = {"gbk": "GBK", "utf-8": "UTF-8"}
PACKAGES = {"featherpad": "featherpad", "mousepad": "mousepad", "kwrite": "kwrite"}


def programs(build_dir):
    editor, bare = str(build_dir / "zariza"), str(build_dir / "bench" / "bare_window")

    def file_then(argv, *extra):
        return lambda path, encoding: argv + ([*extra, path] if path else [])

    return [
        Program("editor", "this editor", lambda path, encoding: [editor], via_dialogs=True),
        Program("bare", "bare QPlainTextEdit",
                lambda path, encoding: [bare] + ([path, encoding] if path else [])),
        # Finds a page's encoding itself, GBK among the candidates in a Chinese locale.
        Program("featherpad", "FeatherPad", file_then(["featherpad", "--standalone"])),
        # Asks for the encoding of any page that is not UTF-8 unless told; settings in memory
        # only, so that no run restores the last one's session.
        Program("mousepad", "Mousepad",
                lambda path, encoding: ["mousepad", "--disable-server"] + (
                    [f"--encoding={CHARSET[encoding]}", path] if path else []),
                {"GSETTINGS_BACKEND": "memory"}),
        Program("kwrite", "KWrite",
                lambda path, encoding: ["kwrite"] + (
                    ["--encoding", CHARSET[encoding], path] if path else [])),
    ]


def environment_for(program, display_name, scratch):
    """A home and runtime folder of the program's own, and no session bus, the same for all."""
    home = scratch / f"home-{program.key}"
    runtime = home / "run"
    runtime.mkdir(parents=True, exist_ok=True)
    runtime.chmod(0o700)
    environment = {key: value for key, value in os.environ.items()
                   if not key.startswith(("DBUS_", "XDG_", "QT_", "GTK_", "LC_"))}
    environment.update(DISPLAY=display_name, HOME=str(home), XDG_RUNTIME_DIR=str(runtime),
                       XDG_CONFIG_HOME=str(home / ".config"), XDG_CACHE_HOME=str(home / ".cache"),
                       XDG_DATA_HOME=str(home / ".local/share"), LANG="zh_CN.UTF-8",
                       NO_AT_BRIDGE="1", QT_QPA_PLATFORM="xcb")
    return environment


def measure(step, watch, program, environment, pages, scratch, run):
    if step == "start-up":
        return peer_steps.measure_startup(watch, program, environment)
    action, page = step.split(" ", 1)
    if action == "open":
        return peer_steps.measure_open(watch, program, environment, pages[page])
    if action == "typing":
        return peer_steps.measure_typing(watch, program, environment, pages[page])
    if action == "paste":
        return peer_steps.measure_paste(watch, program, environment, pages[page])
    return peer_steps.measure_save(watch, program, environment, pages[page],
                                   str(scratch / f"save-{program.key}-{run}"))


def versions(selected):
    found = {}
    for program in selected:
        package = PACKAGES.get(program.key)
        if package:
            found[program.key] = subprocess.run(
                ["dpkg-query", "-W", "-f=${Version}", package], capture_output=True,
                text=True).stdout or None
    return found


def median(runs, field):
    values = [run[field] for run in runs if run.get(field) is not None]
    return statistics.median(values) if values else None


def print_medians(results, selected):
    fields = {"start-up": ("mapped_ms", "first_paint_ms", "ready_ms", "rss_mb")}
    for step, by_program in results["steps"].items():
        for field in fields.get(step, ("ms",)):
            cells = []
            for program in selected:
                value = median(by_program.get(program.key, []), field)
                cells.append(f"{program.key} {'–' if value is None else f'{value:.1f}'}")
            print(f"{step:16} {field:15} " + "  ".join(cells), flush=True)


def run_all(arguments, selected, steps, scratch, results, write):
    pages = {name: Page(str(scratch / file), encoding)
             for name, (file, encoding) in PAGES.items()}
    subprocess.run([str(arguments.build_dir / "bench" / "sample_pages"), str(scratch)],
                   check=True)
    with Server(str(scratch)) as server:
        watch = Watch(server.name)
        environments = {p.key: environment_for(p, server.name, scratch) for p in selected}
        for step in steps:
            by_program = results["steps"].setdefault(step, {})
            for run in range(arguments.runs + 1):
                for program in selected:
                    if program.key not in ONLY.get(step, {program.key}):
                        continue
                    server.keep_window_manager()
                    try:
                        figures = measure(step, watch, program, environments[program.key],
                                          pages, scratch, run)
                    except (TimeoutError, RuntimeError, OSError) as error:
                        figures = {"error": str(error)}
                        print(f"peers: {step}, {program.key}: {error}", file=sys.stderr)
                    if run > 0:  # the first round only warms the caches
                        by_program.setdefault(program.key, []).append(figures)
            write()
        watch.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=int(os.environ.get("PEER_RUNS", "7")))
    parser.add_argument("--json")
    parser.add_argument("--programs", help="only these, by key: editor,bare,featherpad,...")
    parser.add_argument("--steps", help="only these steps, by their names, comma separated")
    parser.add_argument("--shots", help="keep a picture of the screen as each step ends here")
    parser.add_argument("build_dir", type=Path)
    arguments = parser.parse_args()
    arguments.build_dir = arguments.build_dir.resolve()
    peer_steps.shots = arguments.shots
    output = Path(arguments.json or arguments.build_dir / "bench-peers.json")
    selected = [p for p in programs(arguments.build_dir)
                if not arguments.programs or p.key in arguments.programs.split(",")]
    steps = [s for s in STEPS if not arguments.steps or s in arguments.steps.split(",")]
    results = {"date": datetime.date.today().isoformat(), "runs": arguments.runs,
               "labels": {p.key: p.label for p in selected}, "versions": versions(selected),
               "steps": {}}

    def write():
        output.write_text(json.dumps(results, indent=1, ensure_ascii=False), encoding="utf-8")

    # A terminated run still takes its X server and programs down with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("peers: terminated"))
    with tempfile.TemporaryDirectory(prefix="zariza-peers-") as scratch:
        run_all(arguments, selected, steps, Path(scratch), results, write)
    write()
    print_medians(results, selected)
    print(f"peers: wrote {output}")


if __name__ == "__main__":
    main()

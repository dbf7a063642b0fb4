#!/usr/bin/env python3
"""Compiles the configured zariza.rc with the MinGW resource compiler and reads the result back.

The compiled resource must carry the project version in numbers and in text, a Chinese (PRC)
Unicode string table whose texts survive compilation unchanged, and every image of zariza.ico.
Exit status 77 (skipped) when x86_64-w64-mingw32-windres is not installed.
"""

import argparse
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

SKIPPED = 77
WINDRES = "x86_64-w64-mingw32-windres"
CHINESE_PRC = (0x04, 0x02)
UNICODE_CODE_PAGE = 1200


def unescape(literal):
    """The text of a string literal as windres writes it: L"..." with \\xHHHH and octal escapes."""
    wide = literal.startswith("L")
    body = literal[2:-1] if wide else literal[1:-1]
    text = []
    position = 0
    while position < len(body):
        character = body[position]
        if character != "\\":
            text.append(character)
            position += 1
            continue
        escape = re.match(r"x([0-9a-fA-F]{1,4})|([0-7]{1,3})|(.)", body[position + 1 :])
        if escape.group(1):
            text.append(chr(int(escape.group(1), 16)))
        elif escape.group(2):
            text.append(chr(int(escape.group(2), 8)))
        else:
            text.append({"n": "\n", "t": "\t"}.get(escape.group(3), escape.group(3)))
        position += 1 + escape.end()
    return "".join(text)


def string_values(rc_text):
    return {
        name: unescape(literal)
        for name, literal in re.findall(r'VALUE\s+"(\w+)",\s*(L?"(?:[^"\\]|\\.)*")', rc_text)
    }


def icon_sizes(ico_path):
    """Width and height of each image in a .ico file (0 in the directory means 256)."""
    data = ico_path.read_bytes()
    _, kind, count = struct.unpack_from("<HHH", data)
    if kind != 1:
        raise ValueError(f"{ico_path} is not an icon file")
    return sorted(
        (data[6 + 16 * index] or 256, data[7 + 16 * index] or 256) for index in range(count)
    )


def check(rc_path, version, preprocessor):
    problems = []
    with tempfile.TemporaryDirectory(prefix="zariza-rc-") as scratch:
        compiled = Path(scratch) / "zariza.res"
        # The MinGW C compiler is often not installed; the host's preprocesses an .rc just as well.
        subprocess.run(
            [WINDRES, f"--preprocessor={preprocessor}"]
            + [f"--preprocessor-arg={argument}" for argument in ("-E", "-xc", "-DRC_INVOKED")]
            + ["-i", rc_path.name, "-O", "res", "-o", str(compiled)],
            cwd=rc_path.parent,
            check=True,
        )
        decompiled = subprocess.run(
            [WINDRES, "-i", str(compiled), "-O", "rc"], check=True, capture_output=True, text=True
        ).stdout

    numbers = ", ".join(version.split("."))
    for field in ("FILEVERSION", "PRODUCTVERSION"):
        found = re.search(rf"^\s*{field}\s+(.*)$", decompiled, re.MULTILINE)
        if not found or found.group(1).strip() != numbers:
            problems.append(f"{field} is {found and found.group(1)!r}, expected {numbers!r}")

    version_resource = decompiled.index("VERSIONINFO")
    languages = re.findall(r"^LANGUAGE (\d+), (\d+)$", decompiled[:version_resource], re.MULTILINE)
    if not languages or tuple(map(int, languages[-1])) != CHINESE_PRC:
        problems.append(f"version resource language is {languages[-1:]}, expected {CHINESE_PRC}")

    block = f"{CHINESE_PRC[1] << 10 | CHINESE_PRC[0]:04x}{UNICODE_CODE_PAGE:04x}"
    if f'BLOCK "{block}"' not in decompiled:
        problems.append(f"no string table {block}")
    translation = re.search(r'VALUE "Translation", (0x[0-9a-f]+), (\d+)', decompiled)
    expected_translation = (CHINESE_PRC[1] << 10 | CHINESE_PRC[0], UNICODE_CODE_PAGE)
    if not translation or (int(translation.group(1), 16), int(translation.group(2))) != (
        expected_translation
    ):
        problems.append(f"Translation is {translation and translation.groups()}")

    written = string_values(rc_path.read_text(encoding="utf-8"))
    compiled_values = string_values(decompiled)
    if compiled_values != written:
        problems.append(f"string table came out as {compiled_values}, written as {written}")
    for name in ("FileVersion", "ProductVersion"):
        if compiled_values.get(name) != version:
            problems.append(f"{name} is {compiled_values.get(name)!r}, expected {version!r}")
    for name in ("CompanyName", "FileDescription", "ProductName", "OriginalFilename"):
        if not compiled_values.get(name):
            problems.append(f"{name} is missing")

    icon_name = re.search(r'ICON\s+"([^"]+)"', rc_path.read_text(encoding="utf-8")).group(1)
    expected_sizes = icon_sizes(rc_path.parent / icon_name)
    group = re.search(r"RT_GROUP_ICON.*?BEGIN(.*?)END", decompiled, re.DOTALL)
    # Each entry of the group starts with "width height colours reserved" as one string.
    entries = re.findall(r'^\s*("(?:[^"\\]|\\.)*"),', group.group(1) if group else "", re.MULTILINE)
    grouped_sizes = sorted(
        (ord(unescape(entry)[0]) or 256, ord(unescape(entry)[1]) or 256) for entry in entries
    )
    if grouped_sizes != expected_sizes:
        problems.append(f"icon group holds sizes {grouped_sizes}, the .ico {expected_sizes}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--rc", type=Path, required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--preprocessor", required=True)
    arguments = parser.parse_args()
    if shutil.which(WINDRES) is None:
        print(f"skipped: {WINDRES} is not installed")
        return SKIPPED
    problems = check(arguments.rc.resolve(), arguments.version, arguments.preprocessor)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Builds the Debian package with CPack into a scratch folder and checks what a user would install.

The control fields must name the package, the project version and the libraries dpkg-shlibdeps
found; the archive must hold exactly the program, its desktop entry, its icons and its AppStream
metadata; unpacked into a throw-away root, the desktop entry and the metadata must validate and
point at files the package really installs; lintian must find no error or warning, and the
metadata must name nothing that cannot be fetched. Exit status 77 (skipped) when dpkg-deb or
dpkg-shlibdeps is missing, as on a system that does not build Debian packages, or when every other
check passed but lintian or appstreamcli is missing.
"""

import argparse
import configparser
import gzip
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from email.utils import parsedate_to_datetime
from pathlib import Path

SKIPPED = 77


def run(*command, cwd=None):
    result = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed:\n{result.stdout}{result.stderr}")
    return result.stdout


def png_size(path):
    data = path.read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path} is not a PNG")
    return struct.unpack(">II", data[16:24])


def dependency_names(field):
    """Package names in a Depends/Recommends field, alternatives included."""
    return {
        re.match(r"[a-z0-9][a-z0-9+.-]*", alternative.strip()).group(0)
        for relation in field.split(",")
        for alternative in relation.split("|")
    }


def desktop_entry(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return parser["Desktop Entry"]


class Check:
    def __init__(self, version, app_id):
        self.version = version
        self.app_id = app_id
        self.problems = []

    def expect(self, condition, problem):
        if not condition:
            self.problems.append(problem)

    def control(self, package):
        fields = {}
        for line in run("dpkg-deb", "-f", str(package)).splitlines():
            if line and not line.startswith(" "):
                name, _, value = line.partition(":")
                fields[name] = value.strip()
        architecture = run("dpkg", "--print-architecture").strip()
        self.expect(
            package.name == f"zariza_{self.version}_{architecture}.deb",
            f"package file is named {package.name}",
        )
        self.expect(fields.get("Package") == "zariza", f"Package is {fields.get('Package')}")
        self.expect(fields.get("Version") == self.version, f"Version is {fields.get('Version')}")
        self.expect(fields.get("Architecture") == architecture, "wrong Architecture")
        self.expect(fields.get("Section") == "editors", f"Section is {fields.get('Section')}")
        self.expect("@" in fields.get("Maintainer", ""), "Maintainer has no address")
        synopsis = fields.get("Description", "")
        self.expect(synopsis and len(synopsis) <= 80, f"Description synopsis {synopsis!r}")

        # What the program links to comes from dpkg-shlibdeps, with versions; the platform
        # plugins and the dialogs' Chinese are loaded at run time, so they must be named by hand.
        depends = fields.get("Depends", "")
        loaded = ("qt6-qpa-plugins", "qt6-translations-l10n")
        for library in ("libc6", "libqt6core6", "libqt6gui6", "libqt6widgets6", *loaded):
            self.expect(library in dependency_names(depends), f"Depends lacks {library}: {depends}")
        self.expect(
            re.search(r"libqt6widgets6 \(>= [0-9.]+\)", depends),
            f"Depends without versions: {depends}",
        )
        recommends = fields.get("Recommends", "")
        self.expect(
            re.search(r"(^|,)\s*fonts-arphic-uming\s*\|\s*fonts-noto-cjk\s*(,|$)", recommends),
            f"Recommends lacks a Chinese Song face: {recommends}",
        )
        self.expect("xdg-utils" in dependency_names(recommends), f"Recommends: {recommends}")
        # Under fcitx5 a Qt 6 program gets no input method without its frontend plugin.
        self.expect(
            "fcitx5-frontend-qt6" in dependency_names(recommends), f"Recommends: {recommends}"
        )

    def contents(self, package):
        # dpkg-deb -c lists like tar -tv: mode, owner/group, size, date, time, path.
        files = {}
        for line in run("dpkg-deb", "-c", str(package)).splitlines():
            mode, owner, _, _, _, path = line.split(None, 5)
            if mode.startswith("-"):
                files[path.removeprefix("./")] = (mode, owner)
        expected = {
            "usr/bin/zariza",
            f"usr/share/applications/{self.app_id}.desktop",
            f"usr/share/icons/hicolor/32x32/apps/{self.app_id}.png",
            f"usr/share/icons/hicolor/128x128/apps/{self.app_id}.png",
            f"usr/share/metainfo/{self.app_id}.metainfo.xml",
            "usr/share/doc/zariza/copyright",
            "usr/share/doc/zariza/changelog.gz",
            "usr/share/man/man1/zariza.1.gz",
            "usr/share/man/zh_CN/man1/zariza.1.gz",
        }
        self.expect(set(files) == expected, f"package holds {sorted(files)}")
        for path, (mode, owner) in files.items():
            self.expect(owner == "root/root", f"{path} belongs to {owner}")
            wanted = "-rwxr-xr-x" if path.startswith("usr/bin/") else "-rw-r--r--"
            self.expect(mode == wanted, f"{path} has mode {mode}")

    def installed(self, root):
        desktop_file = root / f"usr/share/applications/{self.app_id}.desktop"
        metainfo = root / f"usr/share/metainfo/{self.app_id}.metainfo.xml"

        validation = subprocess.run(
            ["desktop-file-validate", str(desktop_file)], capture_output=True, text=True
        )
        self.expect(
            validation.returncode == 0 and "error" not in validation.stdout,
            f"desktop-file-validate: {validation.stdout}{validation.stderr}",
        )
        # The metadata itself is validated with the network allowed, so a link that cannot be
        # fetched fails here.
        for command in (["validate", str(metainfo)], ["validate-tree", "--no-net", str(root)]):
            if shutil.which("appstreamcli") is None:
                break
            validation = subprocess.run(["appstreamcli", *command], capture_output=True, text=True)
            self.expect(
                validation.returncode == 0,
                f"appstreamcli {command[0]}: {validation.stdout}{validation.stderr}",
            )

        # Libraries come from the system; a search path of its own would be found first.
        dynamic = run("readelf", "--dynamic", str(root / "usr/bin/zariza"))
        self.expect(not re.search(r"\((RPATH|RUNPATH)\)", dynamic), "usr/bin/zariza has a RUNPATH")
        # Full RELRO: relocations resolved at start, then made read-only.
        self.expect(re.search(r"\(FLAGS(_1)?\).*\bNOW\b", dynamic), "usr/bin/zariza binds lazily")
        sections = run("readelf", "--section-headers", "--wide", str(root / "usr/bin/zariza"))
        self.expect(" .comment " not in sections, "usr/bin/zariza keeps its .comment section")

        # The launcher starts the installed program, with no file argument, under its icon.
        entry = desktop_entry(desktop_file)
        exec_line = entry.get("Exec", "").split()
        self.expect(exec_line == ["zariza"], f"Exec={entry.get('Exec')}")
        self.expect((root / "usr/bin" / exec_line[0]).is_file() if exec_line else False,
                    "Exec names no installed program")
        self.expect(entry.get("Icon") == self.app_id, f"Icon={entry.get('Icon')}")
        for size in (32, 128):
            icon = root / f"usr/share/icons/hicolor/{size}x{size}/apps/{entry.get('Icon')}.png"
            self.expect(icon.is_file() and png_size(icon) == (size, size),
                        f"{icon.relative_to(root)} is not a {size}x{size} PNG")
        for key in ("Name", "Name[zh_CN]", "GenericName", "GenericName[zh_CN]", "Comment"):
            self.expect(entry.get(key), f"desktop entry lacks {key}")

        component = ElementTree.parse(metainfo).getroot()
        self.expect(component.findtext("id") == self.app_id, "metainfo id")
        self.expect(
            component.findtext("launchable[@type='desktop-id']") == desktop_file.name,
            "metainfo launchable is not the installed desktop entry",
        )
        self.expect(component.findtext("provides/binary") == exec_line[0] if exec_line else False,
                    "metainfo provides another binary")
        releases = [release.get("version") for release in component.iter("release")]
        self.expect(releases[:1] == [self.version], f"newest release is {releases[:1]}")
        self.changelog(root / "usr/share/doc/zariza/changelog.gz", component)
        self.expect(
            component.findtext("name") == entry.get("Name"), "metainfo and desktop names differ"
        )
        chinese = "{http://www.w3.org/XML/1998/namespace}lang"
        self.expect(
            any(summary.get(chinese) == "zh-CN" for summary in component.iter("summary")),
            "no Chinese summary",
        )

    def changelog(self, path, component):
        """The newest changelog entry is the metadata's newest release."""
        if not path.is_file():
            return
        plain = path.with_suffix("")
        plain.write_bytes(gzip.decompress(path.read_bytes()))
        version = run("dpkg-parsechangelog", "-l", str(plain), "-S", "Version").strip()
        self.expect(version == self.version, f"newest changelog entry is {version}")
        # The day in the entry's own time zone, as the maintainer wrote it.
        written = run("dpkg-parsechangelog", "-l", str(plain), "-S", "Date").strip()
        date = parsedate_to_datetime(written).date().isoformat()
        released = next(component.iter("release")).get("date")
        self.expect(released == date, f"changelog dated {date}, metainfo release {released}")

    def lintian(self, package):
        result = subprocess.run(["lintian", "--fail-on", "error,warning", str(package)],
                                capture_output=True, text=True)
        self.expect(result.returncode == 0, f"lintian:\n{result.stdout}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--config", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--app-id", required=True)
    arguments = parser.parse_args()
    missing = [tool for tool in ("dpkg-deb", "dpkg-shlibdeps") if shutil.which(tool) is None]
    if missing:
        print(f"skipped: {' and '.join(missing)} not installed")
        return SKIPPED

    check = Check(arguments.version, arguments.app_id)
    with tempfile.TemporaryDirectory(prefix="zariza-deb-") as scratch:
        scratch = Path(scratch)
        # A folder of its own, so this never races `make package` over CPack's staging area.
        run(arguments.cpack, "--config", arguments.config, "-B", str(scratch / "out"))
        packages = sorted((scratch / "out").glob("*.deb"))
        if len(packages) != 1:
            print(f"CPack made {[package.name for package in packages]}, not one package")
            return 1
        check.control(packages[0])
        check.contents(packages[0])
        run("dpkg", "-x", str(packages[0]), str(scratch / "root"))
        check.installed(scratch / "root")
        if shutil.which("lintian"):
            check.lintian(packages[0])
    for problem in check.problems:
        print(problem)
    if check.problems:
        return 1
    unchecked = [tool for tool in ("lintian", "appstreamcli") if shutil.which(tool) is None]
    if unchecked:
        print(f"skipped: {' and '.join(unchecked)} not installed, the package was not validated")
        return SKIPPED
    return 0


if __name__ == "__main__":
    sys.exit(main())

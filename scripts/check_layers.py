#!/usr/bin/env python3
"""Holds the code to its layers (scripts/layers.txt): every #include of one
of our folders points down a row, or sideways only where the table allows it.

Usage: check_layers.py [ROOT [TABLE]]   (ROOT: the repository, default: the
one this script is in; TABLE: default ROOT/scripts/layers.txt). Exit 0 when
every include keeps to the table, 1 with one line per include that does not,
2 when the table cannot be read."""

import os
import re
import sys

SOURCE_SUFFIXES = (".cpp", ".h")
TOP_FOLDERS = ("web", "tools", "bench", "fuzz")  # the rest live under src/
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


class Table:
    def __init__(self, path):
        self.row_of = {}  # folder -> row number, 0 lowest
        self.sideways = set()  # (folder, folder it may use on its own row)
        self.only = {}  # folder -> system headers it may use besides the C++ library
        for number, line in enumerate(open(path, encoding="utf-8"), 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            kind, _, rest = line.partition(":")
            words = rest.split()
            if kind == "row" and words:
                rows = len(set(self.row_of.values()))
                for folder in words:
                    self.row_of[folder] = rows
            elif kind == "may use" and len(words) >= 2:
                self.sideways.update((words[0], used) for used in words[1:])
            elif kind == "only" and words:
                self.only[words[0]] = set(words[1:])
            else:
                raise ValueError(f"{path}:{number}: cannot read: {line}")

    def why_not(self, folder, used):
        """Why folder may not include used; None when it may."""
        if folder == used:
            return None
        if folder in self.only:
            return f"{folder}/ uses nothing of ours but the headers at src/'s top"
        if self.row_of[used] < self.row_of[folder] or (folder, used) in self.sideways:
            return None
        if self.row_of[used] == self.row_of[folder]:
            return f"{used}/ is on {folder}/'s own row"
        return f"{used}/ is on a higher row than {folder}/"


def folder_of(relative):
    parts = relative.split("/")
    if parts[0] == "src" and len(parts) > 2:
        return parts[1]
    if parts[0] in TOP_FOLDERS and len(parts) > 1:
        return parts[0]
    return None


def sources(root):
    for top in ("src",) + TOP_FOLDERS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def is_cxx_library(header):
    # <vector>, <cstdint>: the C++ library's headers have no suffix.
    return "." not in header and "/" not in header


def faults(root, table):
    for relative in sorted(sources(root)):
        folder = folder_of(relative)
        in_src_top = relative.startswith("src/") and relative.count("/") == 1
        if folder is None and not in_src_top:
            continue
        with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                bracket, header = match.groups()
                where = f"{relative}:{number}: #include {bracket}{header}{'>' if bracket == '<' else bracket}"
                if in_src_top:
                    # A header at src/'s top is below every row: the C++ library only.
                    if bracket == '"' or not is_cxx_library(header):
                        yield f"{where}: a header at src/'s top uses the C++ library only"
                    continue
                if bracket == "<":
                    allowed = table.only.get(folder)
                    if allowed is not None and not is_cxx_library(header) and header not in allowed:
                        yield f"{where}: {folder}/ uses the C++ library and {', '.join(sorted(allowed))} only"
                    continue
                used = header.split("/", 1)[0] if "/" in header else None
                if used not in table.row_of:
                    continue  # a header beside the file, at src/'s top, or the tests' support
                why = table.why_not(folder, used)
                if why:
                    yield f"{where}: {why}"


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    table_path = argv[2] if len(argv) > 2 else os.path.join(root, "scripts", "layers.txt")
    try:
        table = Table(table_path)
    except (OSError, ValueError) as error:
        print(f"check_layers: {error}", file=sys.stderr)
        return 2
    found = list(faults(root, table))
    for fault in found:
        print(fault, file=sys.stderr)
    if found:
        print(f"check_layers: {len(found)} include(s) against the layers in {table_path}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when an include under src/ crosses the layer table of docs/ARCHITECTURE.md.

Core folders, lowest first; a core file may include the core of its own folder
and of lower layers only, and never Qt. A gui/ sub-folder may include Qt, the
whole core, and the gui/ files of its own and lower layers. src/app is the top:
it may include anything, and nothing else may include it. src/cli is the
other front end beside it: the core only, no Qt, and nobody includes it;
src/worker (the media worker) likewise, over the layers below rules/. A window file
under a gui/ folder reaches files and tag formats only through the core's use
cases: it may not include the platform's file headers or the ID3 formats, nor
reach them through the headers it includes.
"""
import os
import re
import sys

LAYERS = {"text": 0, "platform": 1, "filelist": 2, "tags": 2, "rules": 3, "rename": 4, "session": 5, "worker": 3, "app": 6, "cli": 6}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT = re.compile(r"^(Q[A-Za-z]+|Qt[A-Za-z]*/.*|ui_.*\.h)$")
# Headers a gui/ folder's file may not include.
BELOW_WINDOWS = re.compile(r"^(platform/(fs|open_file|record_file|no_replace|ini)\.h|tags/(id3v|syncsafe).*\.h)$")


def place(path):
    """(folder, is_gui) of a path relative to src/."""
    parts = path.split("/")
    return parts[0], parts[0] == "app" or (len(parts) > 1 and parts[1] == "gui")


def quoted_includes(full):
    with open(full, encoding="utf-8") as f:
        return [m.group(2) for line in f if (m := INCLUDE.match(line)) and m.group(1) == '"']


def reached_below_windows(src, rel, cache):
    """(header below the windows, the header that includes it) reached from `rel` through
    the headers it includes, or None."""
    seen, todo = set(), [rel]
    while todo:
        at = todo.pop()
        if at not in cache:
            path = os.path.join(src, at)
            cache[at] = quoted_includes(path) if os.path.isfile(path) else []
        for target in cache[at]:
            if target in seen:
                continue
            seen.add(target)
            if BELOW_WINDOWS.match(target):
                if at != rel:
                    return target, at
                continue
            todo.append(target)
    return None


def check(src):
    errors = []
    cache = {}
    for root, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            full = os.path.join(root, name)
            rel = os.path.relpath(full, src).replace(os.sep, "/")
            folder, gui = place(rel)
            if folder not in LAYERS:
                errors.append(f"{rel}: folder {folder}/ is not in the layer table")
                continue
            if gui and folder != "app":
                reached = reached_below_windows(src, rel, cache)
                if reached:
                    errors.append(f"src/{rel}: reaches {reached[0]} through {reached[1]}, past the core's use cases")
            with open(full, encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, target = m.groups()
                    where = f"src/{rel}:{number}: {target}"
                    if QT.match(target):
                        if not gui:
                            errors.append(f"{where}: a core file includes Qt")
                        continue
                    if kind == "<" or "/" not in target:
                        continue
                    if gui and folder != "app" and BELOW_WINDOWS.match(target):
                        errors.append(f"{where}: a window reaches files or tag formats past the core's use cases")
                    to_folder, to_gui = place(target)
                    if to_folder not in LAYERS:
                        continue
                    if to_folder in ("app", "cli", "worker") and folder != to_folder:
                        errors.append(f"{where}: only src/{to_folder} may include src/{to_folder}")
                    elif to_gui and not gui:
                        errors.append(f"{where}: a core file includes a window file")
                    elif not gui and to_folder != folder and LAYERS[to_folder] >= LAYERS[folder]:
                        errors.append(f"{where}: {folder}/ may not look up or across to {to_folder}/")
                    elif gui and to_gui and to_folder != folder and LAYERS[to_folder] > LAYERS[folder]:
                        errors.append(f"{where}: {folder}/gui may not include the windows of {to_folder}/")
    return errors


def main():
    src = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    errors = check(os.path.normpath(src))
    for e in errors:
        print(e)
    if errors:
        print(f"{len(errors)} include(s) cross the layers")
        return 1
    print("layers: every include looks down")
    return 0


if __name__ == "__main__":
    sys.exit(main())

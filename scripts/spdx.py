#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Puts "SPDX-License-Identifier: GPL-3.0-or-later" as the first comment line
of every C++, CMake, Python and shell source of the project: line 1, or the
line after a shebang (and after a Python coding line, which must stay among
the first two). A file that names a licence already is left as it is.

  scripts/spdx.py [PATH...]           adds the line where it is missing
  scripts/spdx.py --check [PATH...]   names the files without it; fails if any

Without paths it takes the files git knows or would add (ignored ones are
left out); generated tables (*.inc) and test data are no sources.
"""

import os
import re
import subprocess
import sys

TAG = b"SPDX-License-Identifier:"
LINE = b"SPDX-License-Identifier: GPL-3.0-or-later"
CPP = {".cpp", ".cc", ".cxx", ".h", ".hh", ".hpp"}
HASH = {".cmake", ".py", ".sh", ".bash"}
CODING = re.compile(rb"^[ \t\f]*#.*?coding[:=][ \t]*[-\w.]+")
SCRIPT = re.compile(rb"^#!.*\b(sh|bash|dash|python3?)\b")


def comment_of(path, head):
    """The comment start for the file's language, or None for no source."""
    name = os.path.basename(path)
    ext = os.path.splitext(name)[1]
    if ext in CPP:
        return b"//"
    if ext in HASH or name == "CMakeLists.txt":
        return b"#"
    if ext == "" and SCRIPT.match(head):
        return b"#"
    return None


def project_files(root):
    try:
        out = subprocess.run(
            ["git", "-C", root, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
            check=True, capture_output=True,
        ).stdout
        names = sorted({n.decode() for n in out.split(b"\0") if n})
        return [os.path.join(root, n) for n in names]
    except (OSError, subprocess.CalledProcessError):
        found = []
        for folder, dirs, files in os.walk(root):
            dirs[:] = [d for d in dirs if not d.startswith((".git", "build", "__pycache__"))]
            found += [os.path.join(folder, f) for f in files]
        return sorted(found)


def with_line(data, comment):
    """The file's bytes with the line added, or None when it has one."""
    lines = data.splitlines(keepends=True)
    if any(TAG in line for line in lines[:5]):
        return None
    bom = b""
    if lines and lines[0].startswith(b"\xef\xbb\xbf"):
        bom, lines[0] = b"\xef\xbb\xbf", lines[0][3:]
    end = b"\r\n" if lines and lines[0].endswith(b"\r\n") else b"\n"
    at = 0
    if lines and lines[0].startswith(b"#!"):
        at = 1
    if comment == b"#" and at < len(lines) and at < 2 and CODING.match(lines[at]):
        at += 1
    if at and not lines[at - 1].endswith((b"\n", b"\r")):
        lines[at - 1] += end
    lines.insert(at, comment + b" " + LINE + end)
    return bom + b"".join(lines)


def main(argv):
    check = "--check" in argv
    paths = [a for a in argv if a != "--check"]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    files = paths or project_files(root)
    missing = []
    for path in files:
        if not os.path.isfile(path) or os.path.islink(path):
            continue
        with open(path, "rb") as f:
            data = f.read()
        comment = comment_of(path, data[:200])
        if comment is None:
            continue
        changed = with_line(data, comment)
        if changed is None:
            continue
        missing.append(os.path.relpath(path, root))
        if not check:
            with open(path, "r+b") as f:
                f.write(changed)
                f.truncate()
    if check:
        for name in missing:
            print(f"spdx: no licence line: {name}")
        if missing:
            print(f"spdx: {len(missing)} sources lack the line; scripts/spdx.py adds it")
            return 1
        print("spdx: every source names its licence")
        return 0
    print(f"spdx: added the line to {len(missing)} sources")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

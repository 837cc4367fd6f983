# SPDX-License-Identifier: GPL-3.0-or-later
"""Nautilus (nautilus-python) menu entry "用Qorin批量更名" / "Rename with Qorin".

On selected files and folders it starts `qorin` with their paths; on the
background of a folder, with that folder, whose files Qorin lists as a drop
would. Works with the Nautilus 4 API (43 and later) and the 3.0 one.
"""

import subprocess
import sys
import threading

import gi

try:
    gi.require_version("Nautilus", "4.0")
except ValueError:
    gi.require_version("Nautilus", "3.0")
from gi.repository import GLib, GObject, Nautilus  # noqa: E402

_LABELS = {"zh_CN": "用Qorin批量更名", "zh": "用Qorin批量更名", "C": "Rename with Qorin"}
_TIPS = {
    "zh_CN": "在Qorin批量更名器中为所选的文件改名",
    "zh": "在Qorin批量更名器中为所选的文件改名",
    "C": "Rename the selected files in Qorin Batch Renamer",
}


def _localised(texts):
    # GLib's list follows LANGUAGE, LC_ALL, LC_MESSAGES and LANG as gettext does.
    for name in GLib.get_language_names():
        if name in texts:
            return texts[name]
    return texts["C"]


def _local_paths(items):
    """The paths of the items, or None when one has none (trash, network)."""
    paths = []
    for item in items:
        path = item.get_location().get_path()
        if not path:
            return None
        paths.append(path)
    return paths


def _start(paths):
    # An argument list, never a shell: a name may hold any character. Paths
    # from Nautilus are absolute, so none is taken for an option.
    try:
        child = subprocess.Popen(
            ["qorin", *paths],
            stdin=subprocess.DEVNULL,
            start_new_session=True,
        )
    except OSError as e:
        print(f"qorin: {e}", file=sys.stderr)
        return
    # Reaped when it ends, so no zombie stays under the file manager.
    threading.Thread(target=child.wait, daemon=True).start()


def _item(name, paths):
    item = Nautilus.MenuItem(name=name, label=_localised(_LABELS), tip=_localised(_TIPS))
    item.connect("activate", lambda _item: _start(paths))
    return [item]


class QorinMenu(GObject.GObject, Nautilus.MenuProvider):
    # Nautilus 4 calls get_file_items(files) and get_background_items(folder);
    # Nautilus 3 puts the window first. The last argument is the one wanted.
    def get_file_items(self, *args):
        paths = _local_paths(args[-1])
        return _item("Qorin::RenameSelection", paths) if paths else []

    def get_background_items(self, *args):
        paths = _local_paths([args[-1]])
        return _item("Qorin::RenameFolder", paths) if paths else []

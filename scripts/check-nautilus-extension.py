#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Loads the Nautilus extension with a stand-in for gi (no Nautilus needed),
as Nautilus 4 and as Nautilus 3 would, activates its menu entries and checks
the paths that reach a stand-in `qorin`, one argument each, whatever they hold.

Usage: scripts/check-nautilus-extension.py EXTENSION.py
"""

import importlib.util
import os
import subprocess
import sys
import tempfile
import types


def fail(message):
    print(f"check-nautilus-extension: {message}")
    sys.exit(1)


class MenuItem:
    def __init__(self, **props):
        self.props = props
        self.handlers = []

    def connect(self, signal, handler):
        assert signal == "activate"
        self.handlers.append(handler)

    def activate(self):
        for handler in self.handlers:
            handler(self)


class Item:
    def __init__(self, path):
        self.path = path

    def get_location(self):
        return types.SimpleNamespace(get_path=lambda: self.path)


def load(extension, versions, languages):
    """The extension's module, imported against a gi that offers `versions`."""
    gi = types.ModuleType("gi")

    def require_version(namespace, version):
        if namespace == "Nautilus" and version not in versions:
            raise ValueError(f"Namespace {namespace} not available for version {version}")

    gi.require_version = require_version
    repository = types.ModuleType("gi.repository")
    repository.GLib = types.SimpleNamespace(get_language_names=lambda: languages)
    repository.GObject = types.SimpleNamespace(GObject=type("GObject", (), {}))
    repository.Nautilus = types.SimpleNamespace(MenuItem=MenuItem, MenuProvider=type("MenuProvider", (), {}))
    gi.repository = repository
    sys.modules["gi"] = gi
    sys.modules["gi.repository"] = repository
    loader_info = importlib.util.spec_from_file_location(f"qorin_ext_{len(versions)}_{len(languages)}", extension)
    module = importlib.util.module_from_spec(loader_info)
    loader_info.loader.exec_module(module)
    return module


def started_with(item, out):
    """The arguments the activated item gave qorin."""
    children = []
    real_popen = subprocess.Popen

    def recording_popen(*args, **kwargs):
        if kwargs.get("shell"):
            fail("qorin is started through a shell")
        child = real_popen(*args, **kwargs)
        children.append(child)
        return child

    subprocess.Popen = recording_popen
    try:
        item.activate()
    finally:
        subprocess.Popen = real_popen
    if len(children) != 1:
        fail(f"activating the entry started {len(children)} programs")
    children[0].wait()
    with open(out, "rb") as f:
        return f.read().split(b"\0")[:-1]


def main():
    extension = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        # The stand-in qorin writes its arguments, each ended by NUL.
        out = os.path.join(tmp, "args")
        fake = os.path.join(tmp, "qorin")
        with open(fake, "w") as f:
            f.write(f"#!/bin/sh\nprintf '%s\\0' \"$@\" >'{out}'\n")
        os.chmod(fake, 0o755)
        os.environ["PATH"] = tmp + os.pathsep + os.environ["PATH"]

        names = ["音乐 文件夹", "it's \"x\".mp3", "$(touch pwned);`id`|x&.mp3", "-n", "a\nb\\c"]
        paths = [os.path.join(tmp, n) for n in names]
        want = [os.fsencode(p) for p in paths]

        # Nautilus 4: get_file_items(files), get_background_items(folder).
        ext = load(extension, {"4.0"}, ["zh_CN.UTF-8", "zh_CN", "zh.UTF-8", "zh", "C"])
        items = ext.QorinMenu().get_file_items([Item(p) for p in paths])
        if len(items) != 1 or items[0].props.get("label") != "用Qorin批量更名":
            fail(f"Nautilus 4, zh_CN: the file items are {[i.props for i in items]}")
        if started_with(items[0], out) != want:
            fail(f"Nautilus 4: qorin got {started_with(items[0], out)!r}, not {want!r}")
        if ext.QorinMenu().get_file_items([Item(paths[0]), Item(None)]):
            fail("an entry is offered for a selection with a file that has no local path")

        # Nautilus 3: the window comes first.
        ext = load(extension, {"3.0"}, ["en_GB.UTF-8", "en_GB", "en", "C"])
        items = ext.QorinMenu().get_background_items(object(), Item(tmp))
        if len(items) != 1 or items[0].props.get("label") != "Rename with Qorin":
            fail(f"Nautilus 3, en_GB: the background items are {[i.props for i in items]}")
        if started_with(items[0], out) != [os.fsencode(tmp)]:
            fail("Nautilus 3: the background entry did not hand over the folder")
        items = ext.QorinMenu().get_file_items(object(), [Item(paths[1])])
        if len(items) != 1 or started_with(items[0], out) != [want[1]]:
            fail("Nautilus 3: the file entry did not hand over the file")
        if os.path.exists("pwned") or os.path.exists(os.path.join(tmp, "pwned")):
            fail("a name was run as a command")
    print("check-nautilus-extension: Nautilus 4 and 3 entries start qorin with the paths as given")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Tells for each desktop entry file given what a desktop built on GLib does with it at logon, one line per
file: "no", or "yes", the delay, "terminal" or "-", then the words it runs, separated by tabs.
The current desktop comes from XDG_CURRENT_DESKTOP and programs are looked up in PATH, as at logon."""

import sys

import gi

gi.require_version("GLib", "2.0")
gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

GROUP = "Desktop Entry"


def value(getter, key, default):
    try:
        return getter(GROUP, key)
    except GLib.Error:
        return default


def expand(exec_text, info, path):
    """The field codes of Exec expanded as GDesktopAppInfo expands them when it launches without files."""
    out = []
    i = 0
    while i < len(exec_text):
        c = exec_text[i]
        if c == "%" and i + 1 < len(exec_text):
            code = exec_text[i + 1]
            i += 2
            if code == "%":
                out.append("%")
            elif code == "i" and info.get_string("Icon"):
                icon = info.get_string("Icon")
                if not icon.startswith("/"):
                    for ending in (".png", ".xpm", ".svg"):
                        if icon.endswith(ending):
                            icon = icon[: -len(ending)]
                out.append("--icon " + GLib.shell_quote(icon))
            elif code == "c" and info.get_name():
                out.append(GLib.shell_quote(info.get_name()))
            elif code == "k":
                out.append(GLib.shell_quote(path))
            continue
        out.append(c)
        i += 1
    return "".join(out)


def verdict(path):
    keys = GLib.KeyFile()
    try:
        keys.load_from_file(path, GLib.KeyFileFlags.NONE)
        info = Gio.DesktopAppInfo.new_from_filename(path)
    except (GLib.Error, TypeError):
        return {"starts": False, "why": "not loaded"}
    if info is None:
        return {"starts": False, "why": "not loaded"}
    if value(keys.get_boolean, "Hidden", False):
        return {"starts": False, "why": "hidden"}
    if not value(keys.get_boolean, "X-GNOME-Autostart-enabled", True):
        return {"starts": False, "why": "disabled"}
    if not info.get_show_in(None):
        return {"starts": False, "why": "not shown in this desktop"}
    exec_text = value(keys.get_string, "Exec", None)
    if not exec_text:
        return {"starts": False, "why": "no Exec"}
    try:
        argv = GLib.shell_parse_argv(expand(exec_text, info, path))[1]
    except GLib.Error:
        return {"starts": False, "why": "Exec not parsed"}
    return {
        "starts": True,
        "argv": argv,
        "delay": max(value(keys.get_integer, "X-GNOME-Autostart-Delay", 0), 0),
        "terminal": value(keys.get_boolean, "Terminal", False),
        "name": value(keys.get_string, "Name", ""),
    }


for file in sys.argv[1:]:
    v = verdict(file)
    fields = ["no"] if not v["starts"] else ["yes", str(v["delay"]), "terminal" if v["terminal"] else "-"] + v["argv"]
    sys.stdout.buffer.write("\t".join(fields).encode() + b"\n")

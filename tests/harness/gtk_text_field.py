#!/usr/bin/python3
"""A GTK 3 window holding one text entry, as an application the user types
in. It reports on standard output, one line each:

  ready <monotonic ns> <window id>     once the window is on screen (0 on Wayland)
  changed <monotonic ns> <JSON text>   every time the entry's text changes

SIGUSR1 empties the entry (where no keys can be typed into it from outside).

The times are CLOCK_MONOTONIC, the clock std::chrono::steady_clock reads, so
a test can tell exactly when the text arrived."""
import argparse
import json
import signal
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import Gio, GLib  # noqa: E402

Gtk = None  # imported once the program name is set: the import starts GTK


def report(*words):
    print(*words, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app-id", default="org.example.TextField")
    parser.add_argument("--program", default="text-field")
    parser.add_argument("--title", default="Text field")
    parser.add_argument("--text", default="")
    options = parser.parse_args()

    GLib.set_prgname(options.program)
    global Gtk
    from gi.repository import Gtk
    app = Gtk.Application(application_id=options.app_id, flags=Gio.ApplicationFlags.NON_UNIQUE)

    def activate(application):
        window = Gtk.ApplicationWindow(application=application, title=options.title)
        window.set_default_size(400, 80)
        entry = Gtk.Entry()
        entry.set_text(options.text)
        entry.connect("changed", lambda e: report("changed", time.monotonic_ns(), json.dumps(e.get_text())))
        window.add(entry)
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, lambda: entry.set_text("") or True)

        def mapped(widget, _event):
            entry.grab_focus()
            entry.set_position(-1)
            # A native Wayland window has no X11 id: 0 there.
            window = widget.get_window()
            report("ready", time.monotonic_ns(), window.get_xid() if hasattr(window, "get_xid") else 0)
            return False

        window.connect("map-event", mapped)
        window.show_all()

    app.connect("activate", activate)
    return app.run([sys.argv[0]])


if __name__ == "__main__":
    sys.exit(main())

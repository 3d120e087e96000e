#!/usr/bin/python3
"""A GTK 3 window with one focused entry, for accessibility tests.

Arguments: --text HEX (UTF-8 as hexadecimal), --selection START END (UTF-16
units), optionally --refuse-paste, --password, and --paste-only (instead of
the entry, a focused canvas that shows no editable text to assistive tools
and takes text only from the paste shortcut). Prints "ready" once the
window is active and the entry focused with its selection in place. Answers
"state" on standard input with "state START END HEX" (UTF-16 units), and
ends on "quit" or at the end of its input.
"""
import argparse
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def utf16_to_code_points(text, units):
    """The code-point index of a UTF-16 offset into text."""
    seen = 0
    for index, char in enumerate(text):
        if seen >= units:
            return index
        seen += 2 if ord(char) > 0xFFFF else 1
    return len(text)


def code_points_to_utf16(text, index):
    return sum(2 if ord(char) > 0xFFFF else 1 for char in text[:index])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--text", default="")
    parser.add_argument("--selection", nargs=2, type=int, default=[0, 0])
    parser.add_argument("--refuse-paste", action="store_true")
    parser.add_argument("--password", action="store_true")
    parser.add_argument("--paste-only", action="store_true")
    options = parser.parse_args()
    text = bytes.fromhex(options.text).decode("utf-8")

    window = Gtk.Window(title="Tavlo test entry")
    window.set_default_size(400, 60)
    if options.paste_only:
        return run_paste_only_canvas(window, text)
    entry = Gtk.Entry()
    entry.set_text(text)
    if options.password:
        entry.set_visibility(False)
    if options.refuse_paste:
        entry.connect("paste-clipboard", lambda field: field.stop_emission_by_name("paste-clipboard"))
    window.add(entry)
    window.connect("destroy", Gtk.main_quit)

    announced = [False]

    def announce_when_ready(*_):
        if announced[0] or not window.is_active():
            return
        announced[0] = True
        entry.grab_focus()
        start = utf16_to_code_points(text, options.selection[0])
        end = utf16_to_code_points(text, options.selection[1])
        entry.select_region(start, end)
        print("ready", flush=True)

    window.connect("notify::is-active", announce_when_ready)

    def answer(source, condition):
        line = sys.stdin.readline()
        if not line or line.strip() == "quit":
            Gtk.main_quit()
            return False
        if line.strip() == "state":
            current = entry.get_text()
            bounds = entry.get_selection_bounds()
            if bounds:
                start, end = min(bounds), max(bounds)
            else:
                start = end = entry.get_position()
            print("state %d %d %s" % (code_points_to_utf16(current, start), code_points_to_utf16(current, end),
                                      current.encode("utf-8").hex()), flush=True)
        return True

    GLib.io_add_watch(sys.stdin, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, answer)
    window.show_all()
    window.present()
    Gtk.main()


def run_paste_only_canvas(window, text):
    """Like a terminal to assistive tools: focusable, with nothing to write
    into; Ctrl+V and Ctrl+Shift+V append the clipboard's text."""
    held = [text]
    canvas = Gtk.DrawingArea()
    canvas.set_can_focus(True)
    canvas.add_events(Gdk.EventMask.KEY_PRESS_MASK)

    def key_pressed(_widget, event):
        control = event.state & Gdk.ModifierType.CONTROL_MASK
        if control and Gdk.keyval_to_lower(event.keyval) == Gdk.KEY_v:
            clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)
            clipboard.request_text(lambda _board, pasted: held.__setitem__(0, held[0] + (pasted or "")))
            return True
        return False

    canvas.connect("key-press-event", key_pressed)
    window.add(canvas)
    window.connect("destroy", Gtk.main_quit)
    announced = [False]

    def announce_when_ready(*_):
        if announced[0] or not window.is_active():
            return
        announced[0] = True
        canvas.grab_focus()
        print("ready", flush=True)

    window.connect("notify::is-active", announce_when_ready)

    def answer(_source, _condition):
        line = sys.stdin.readline()
        if not line or line.strip() == "quit":
            Gtk.main_quit()
            return False
        if line.strip() == "state":
            end = code_points_to_utf16(held[0], len(held[0]))
            print("state %d %d %s" % (end, end, held[0].encode("utf-8").hex()), flush=True)
        return True

    GLib.io_add_watch(sys.stdin, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, answer)
    window.show_all()
    window.present()
    Gtk.main()
    return 0


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""A desktop's side of the GlobalShortcuts portal, for tests: implements
org.freedesktop.impl.portal.GlobalShortcuts for the real xdg-desktop-portal
on the session bus, granting every shortcut its preferred trigger (or, with
--refuse, declining as a user would in the desktop's dialog). The test
presses and lets go of shortcuts, or changes their keys, through the
org.tavlo.TestShortcuts interface on the same object.
"""
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

PATH = "/org/freedesktop/portal/desktop"
IMPL = "org.freedesktop.impl.portal.GlobalShortcuts"
XML = """
<node>
  <interface name="org.freedesktop.impl.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/>
      <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="ListShortcuts">
      <arg type="o" direction="in"/><arg type="o" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <signal name="Activated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
    <signal name="Deactivated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
    <signal name="ShortcutsChanged"><arg type="o"/><arg type="a(sa{sv})"/></signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.tavlo.TestShortcuts">
    <method name="Press"><arg type="s" direction="in"/></method>
    <method name="Release"><arg type="s" direction="in"/></method>
    <method name="Rebind"><arg type="s" direction="in"/><arg type="s" direction="in"/></method>
  </interface>
</node>
"""

refuse = "--refuse" in sys.argv
session = [None]
bound = {}  # id -> trigger description


def shortcuts_list():
    return [(name, {"trigger_description": GLib.Variant("s", trigger)}) for name, trigger in bound.items()]


def shortcuts_value():
    return GLib.Variant("a(sa{sv})", shortcuts_list())


def call(connection, _sender, _path, interface, method, parameters, invocation):
    def emit(signal, value):
        connection.emit_signal(None, PATH, IMPL, signal, value)

    if method == "CreateSession":
        session[0] = parameters[1]
        invocation.return_value(GLib.Variant("(ua{sv})", (0, {})))
    elif method == "BindShortcuts":
        if refuse:
            invocation.return_value(GLib.Variant("(ua{sv})", (1, {})))
            return
        for name, details in parameters[2]:
            bound[name] = details.get("preferred_trigger", "")
        invocation.return_value(GLib.Variant("(ua{sv})", (0, {"shortcuts": shortcuts_value()})))
        print("bound", len(bound), flush=True)
    elif method == "ListShortcuts":
        invocation.return_value(GLib.Variant("(ua{sv})", (0, {"shortcuts": shortcuts_value()})))
    elif method in ("Press", "Release"):
        time = GLib.get_monotonic_time() // 1000
        emit("Activated" if method == "Press" else "Deactivated",
             GLib.Variant("(osta{sv})", (session[0], parameters[0], time, {})))
        invocation.return_value(None)
    elif method == "Rebind":
        bound[parameters[0]] = parameters[1]
        emit("ShortcutsChanged", GLib.Variant("(oa(sa{sv}))", (session[0], shortcuts_list())))
        invocation.return_value(None)


def get_property(_connection, _sender, _path, _interface, _name):
    return GLib.Variant("u", 1)


def main():
    loop = GLib.MainLoop()
    info = Gio.DBusNodeInfo.new_for_xml(XML)
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    for interface in info.interfaces:
        bus.register_object(PATH, interface, call, get_property, None)

    def acquired(*_):
        print("ready", flush=True)

    Gio.bus_own_name_on_connection(bus, "org.tavlo.TestShortcutsPortal", Gio.BusNameOwnerFlags.NONE, acquired,
                                   lambda *_: loop.quit())
    loop.run()


if __name__ == "__main__":
    main()

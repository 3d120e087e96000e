#!/usr/bin/python3
"""A desktop's side of the RemoteDesktop portal, for tests: implements
org.freedesktop.impl.portal.RemoteDesktop for the real xdg-desktop-portal,
keyboard only. Starting a session "shows the dialog" (counted) unless the
session comes with the restore data of an earlier grant; with --refuse the
user declines. The keys received and the dialogs shown are read through the
org.tavlo.TestRemoteDesktop interface on the same object.
"""
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

PATH = "/org/freedesktop/portal/desktop"
XML = """
<node>
  <interface name="org.freedesktop.impl.portal.RemoteDesktop">
    <method name="CreateSession">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="SelectDevices">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="NotifyKeyboardKeycode">
      <arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="in"/>
    </method>
    <property name="AvailableDeviceTypes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.tavlo.TestRemoteDesktop">
    <method name="Dialogs"><arg type="u" direction="out"/></method>
    <method name="Keys"><arg type="a(iu)" direction="out"/></method>
  </interface>
</node>
"""

refuse = "--refuse" in sys.argv
restored = set()  # sessions that came with an earlier grant
dialogs = [0]
keys = []


def call(_connection, _sender, _path, _interface, method, parameters, invocation):
    if method == "CreateSession":
        invocation.return_value(GLib.Variant("(ua{sv})", (0, {})))
    elif method == "SelectDevices":
        if "restore_data" in parameters[3]:
            restored.add(parameters[1])
        invocation.return_value(GLib.Variant("(ua{sv})", (0, {})))
    elif method == "Start":
        if parameters[1] not in restored:
            dialogs[0] += 1
        if refuse:
            invocation.return_value(GLib.Variant("(ua{sv})", (1, {})))
            return
        results = {
            "devices": GLib.Variant("u", 1),
            "persist_mode": GLib.Variant("u", 2),
            "restore_data": GLib.Variant("(suv)", ("tavlo-test", 1, GLib.Variant("s", "keyboard"))),
        }
        invocation.return_value(GLib.Variant("(ua{sv})", (0, results)))
    elif method == "NotifyKeyboardKeycode":
        keys.append((parameters[2], parameters[3]))
        invocation.return_value(None)
    elif method == "Dialogs":
        invocation.return_value(GLib.Variant("(u)", (dialogs[0],)))
    elif method == "Keys":
        invocation.return_value(GLib.Variant("(a(iu))", (keys,)))


def get_property(_connection, _sender, _path, _interface, name):
    return GLib.Variant("u", 1 if name == "AvailableDeviceTypes" else 2)


def main():
    loop = GLib.MainLoop()
    info = Gio.DBusNodeInfo.new_for_xml(XML)
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    for interface in info.interfaces:
        bus.register_object(PATH, interface, call, get_property, None)
    Gio.bus_own_name_on_connection(bus, "org.tavlo.TestRemoteDesktopPortal", Gio.BusNameOwnerFlags.NONE,
                                   lambda *_: print("ready", flush=True), lambda *_: loop.quit())
    loop.run()


if __name__ == "__main__":
    main()

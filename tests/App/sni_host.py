#!/usr/bin/python3
"""A StatusNotifier host of the tests' own, written against the protocol rather than Torvel's code.

It owns org.kde.StatusNotifierWatcher on the session bus, forgets an item when its bus name goes (as
watchers do), and answers one command per line on stdin with one JSON line on stdout, about the item that
registered last:
  wait-item        waits (10 s at most) for an item: {"item": its bus name}
  wait-gone        waits (10 s at most) until no item is left: {"items": the names still held}
  registrations    how many registrations it took so far: {"count": n}
  props            the item's properties (pixmaps as [width, height, byte count])
  layout           the menu: {"revision": u, "layout": {"id", "props", "children"}}
  about-to-show    AboutToShow(0) on the menu: {"needUpdate": b}
  click ID         Event(ID, "clicked") on the menu
  activate         Activate(0, 0) on the item
  middle-click     XAyatanaSecondaryActivate(0), as GNOME's host sends a middle click
  signals          the signals the item and its menu sent so far: {"signals": {name: [arguments]}}
"""
import json
import os
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
PROPS = "org.freedesktop.DBus.Properties"
class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []
        self.registrations = 0
        bus.add_signal_receiver(self.owner_changed, "NameOwnerChanged", "org.freedesktop.DBus",
                                "org.freedesktop.DBus", "/org/freedesktop/DBus")

    def owner_changed(self, name, old, new):
        if not new and name in self.items:
            self.items.remove(name)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender):
        # An item names its bus name, or only its object path on the sender's connection.
        name = sender if service.startswith("/") else service
        self.registrations += 1
        if name not in self.items:
            self.items.append(name)


def plain(value):
    """D-Bus values as JSON; byte arrays as their length."""
    if isinstance(value, (dbus.ByteArray, bytes)) or getattr(value, "signature", None) == "y":
        return len(value)
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.String, dbus.ObjectPath, str)):
        return str(value)
    if isinstance(value, (int, float)):
        return value
    return str(value)


def node(layout):
    ident, props, children = layout
    return {"id": int(ident), "props": plain(props), "children": [node(c) for c in children]}


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    bus.request_name(WATCHER, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    signals = {}

    def record(*args, **kwargs):
        signals.setdefault(kwargs["member"], []).append(plain(list(args)))

    bus.add_signal_receiver(record, dbus_interface=ITEM, member_keyword="member")
    bus.add_signal_receiver(record, dbus_interface=MENU, member_keyword="member")
    context = GLib.MainContext.default()
    GLib.timeout_add(50, lambda: True)  # lets a waiting command look again

    def item():
        return bus.get_object(watcher.items[-1], "/StatusNotifierItem")

    def menu():
        path = item().Get(ITEM, "Menu", dbus_interface=PROPS)
        return bus.get_object(watcher.items[-1], path)

    def run(words):
        command = words[0]
        if command == "wait-item":
            deadline = time.monotonic() + 10
            while not watcher.items and time.monotonic() < deadline:
                context.iteration(True)
            return {"item": watcher.items[-1] if watcher.items else None}
        if command == "wait-gone":
            deadline = time.monotonic() + 10
            while watcher.items and time.monotonic() < deadline:
                context.iteration(True)
            return {"items": list(watcher.items)}
        if command == "registrations":
            while context.iteration(False):  # registrations already on the wire first
                pass
            return {"count": watcher.registrations}
        if command == "props":
            return plain(item().GetAll(ITEM, dbus_interface=PROPS))
        if command == "layout":
            revision, layout = menu().GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface=MENU)
            return {"revision": int(revision), "layout": node(layout)}
        if command == "about-to-show":
            return {"needUpdate": bool(menu().AboutToShow(0, dbus_interface=MENU))}
        if command == "click":
            menu().Event(int(words[1]), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0), dbus_interface=MENU)
            return {"ok": True}
        if command == "activate":
            item().Activate(0, 0, dbus_interface=ITEM)
            return {"ok": True}
        if command == "middle-click":
            item().XAyatanaSecondaryActivate(dbus.UInt32(0), dbus_interface=ITEM)
            return {"ok": True}
        if command == "signals":
            while context.iteration(False):  # signals already on the wire first
                pass
            return {"signals": signals}
        return {"error": "unknown command " + command}

    pending = b""

    def on_input(fd, condition):
        nonlocal pending
        chunk = os.read(fd, 4096)
        if not chunk:
            os._exit(0)
        pending += chunk
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            words = line.decode().split()
            if not words:
                continue
            try:
                answer = run(words)
            except dbus.DBusException as error:
                answer = {"error": error.get_dbus_name()}
            sys.stdout.write(json.dumps(answer) + "\n")
            sys.stdout.flush()
        return True

    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP, on_input)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()

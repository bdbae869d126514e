#!/usr/bin/python3
"""The test's side of the tray, on the session bus: a StatusNotifierWatcher (python3-dbusmock)
that `tray.py watcher` runs until killed, and a host's reads and clicks of Kelvo's item and menu:
`registrations` (how many times an item registered), `prop NAME` (the registered item's), `layout`
(one line per entry: id, kind, label, enabled, mark) and `click LABEL`."""
import subprocess
import sys
import tempfile

import dbus

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


# The method is there before the name is taken: an item registering at once is never turned away.
TEMPLATE = f"""
BUS_NAME = '{WATCHER}'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = '{WATCHER}'
SYSTEM_BUS = False
def load(mock, parameters):
    mock.AddMethod(MAIN_IFACE, 'RegisterStatusNotifierItem', 's', '', '')
"""


def watcher():
    with tempfile.NamedTemporaryFile("w", suffix=".py") as template:
        template.write(TEMPLATE)
        template.flush()
        mock = subprocess.Popen(["/usr/bin/python3", "-m", "dbusmock", "--template",
                                 template.name])
        bus = dbus.SessionBus()
        for _ in range(500):
            if bus.name_has_owner(WATCHER):
                break
            subprocess.run(["sleep", "0.02"])
        print("ready", flush=True)
        mock.wait()


def calls():
    mock = dbus.SessionBus().get_object(WATCHER, "/StatusNotifierWatcher")
    return [args for _, name, args in mock.GetCalls(dbus_interface="org.freedesktop.DBus.Mock")
            if name == "RegisterStatusNotifierItem"]


def item_object():
    """The registered item: Kelvo registers the bus name of its item."""
    return dbus.SessionBus().get_object(str(calls()[-1][0]), "/StatusNotifierItem")


def menu_object():
    item = item_object()
    path = item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
    return dbus.SessionBus().get_object(item.bus_name, path)


def entries():
    _, (_, _, children) = menu_object().GetLayout(0, -1, [], dbus_interface=MENU)
    for child_id, props, _ in children:
        yield (int(child_id), str(props.get("type", "standard")), str(props.get("label", "")),
               bool(props.get("enabled", True)), int(props.get("toggle-state", -1)))


def main(command, *args):
    if command == "watcher":
        watcher()
    elif command == "registrations":
        print(len(calls()))
    elif command == "prop":
        print(item_object().Get(ITEM, args[0], dbus_interface=dbus.PROPERTIES_IFACE))
    elif command == "layout":
        for entry in entries():
            print("\t".join(str(field) for field in entry))
    elif command == "click":
        entry_id = next(e[0] for e in entries() if e[2] == args[0])
        menu_object().Event(entry_id, "clicked", dbus.String("x", variant_level=1),
                            dbus.UInt32(0), dbus_interface=MENU)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(*sys.argv[1:])

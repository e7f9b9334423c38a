#!/usr/bin/python3
# What a screen reader finds over the desktop's accessibility bus (AT-SPI): the program's
# windows walked as Orca walks them. Every control a person can reach that is showing must
# have a name, and every list must be a named table with its column titles. The main window
# is walked, then the Customer Manager, opened by the "Customers" button's own action as a
# screen reader user opens it; the down arrow pressed in its list must move the focus the
# screen reader is told of from customer to customer, and Close closes it again.
# Usage (under tests/screens/with-a11y-bus.sh, with the program started): atspi-walk.py
import sys
import time

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)

ACC = "org.a11y.atspi.Accessible"
STATE_SHOWING = 25
# The roles a person works with; each must have a name.
NAMED = {"push button", "check box", "radio button", "menu item", "text", "combo box",
         "table", "toggle button", "spin button", "page tab", "password text"}

session = dbus.SessionBus()
address = session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(
    dbus_interface="org.a11y.Bus")
bus = dbus.bus.BusConnection(str(address))


def node(ref):
    return bus.get_object(ref[0], ref[1])


def prop(o, name):
    return str(o.Get(ACC, name, dbus_interface="org.freedesktop.DBus.Properties"))


def showing(o):
    states = o.GetState(dbus_interface=ACC)
    return bool(states[STATE_SHOWING // 32] & (1 << (STATE_SHOWING % 32)))


def children(o):
    return list(o.GetChildren(dbus_interface=ACC))


def wait_for(find, what, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.25)
    print(f"atspi-walk: {what} did not appear", file=sys.stderr)
    sys.exit(1)


def program():
    root = bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")
    for ref in children(root):
        app = node(ref)
        if prop(app, "Name") == "invarro":
            return app
    return None


def window(app, title):
    for ref in children(app):
        w = node(ref)
        # The splash window bears the title too, but is no frame.
        if (prop(w, "Name") == title and showing(w)
                and str(w.GetRoleName(dbus_interface=ACC)) == "frame"):
            return w
    return None


problems = []
tables = []


def walk(o, path, depth=0):
    if depth > 12 or not showing(o):
        return
    role = str(o.GetRoleName(dbus_interface=ACC))
    name = prop(o, "Name")
    here = f"{path} > {role} {name!r}" if name else f"{path} > {role}"
    if role in NAMED and not name.strip():
        problems.append(f"{here}: no name")
    if role == "table":
        tables.append((o, here))
        return  # its cells are the rows of the list
    for ref in children(o):
        walk(node(ref), here, depth + 1)


def find(o, role, name, depth=0):
    if depth > 12:
        return None
    if str(o.GetRoleName(dbus_interface=ACC)) == role and prop(o, "Name") == name and showing(o):
        return o
    for ref in children(o):
        hit = find(node(ref), role, name, depth + 1)
        if hit is not None:
            return hit
    return None


app = wait_for(program, "the program on the accessibility bus")
main = wait_for(lambda: window(app, "ZT Invarro"), "the main window")
# The company is open once its buttons show.
customers = wait_for(lambda: find(main, "push button", "Customers"), "the Customers button")
walk(main, "main window")
if True:
    # The button's own action, as a screen reader presses it; the window it opens is
    # modal, so the answer comes only when it closes.
    customers.DoAction(0, dbus_interface="org.a11y.atspi.Action", ignore_reply=True)
    manager = wait_for(
        lambda: next((node(r) for r in children(app)
                      if prop(node(r), "Name").startswith("Customer Manager")
                      and showing(node(r))), None), "the Customer Manager")
    walk(manager, "Customer Manager")
    lists = [t for t in tables if t[1].startswith("Customer Manager")]
    if not lists:
        problems.append("Customer Manager: the customer list is not a table")
    for table, where in lists:
        t = "org.a11y.atspi.Table"
        rows = int(table.Get(t, "NRows", dbus_interface="org.freedesktop.DBus.Properties"))
        columns = int(table.Get(t, "NColumns",
                                dbus_interface="org.freedesktop.DBus.Properties"))
        titles = [str(table.GetColumnDescription(c, dbus_interface=t)) for c in range(columns)]
        if rows < 1:
            problems.append(f"{where}: no rows")
        if "Name" not in titles:
            problems.append(f"{where}: column titles {titles} lack Name")
        print(f"{where}: {rows} rows, columns {titles}")
    # The focus the screen reader is told of as the down arrow moves through the list.
    registry = bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/registry")
    registry.RegisterEvent("object:state-changed:focused", dbus.Array([], signature="s"), "",
                           dbus_interface="org.a11y.atspi.Registry")
    told = []

    def focused(kind, detail, _detail2, _data, _props=None, sender=None, path=None):
        if str(kind) != "focused" or int(detail) != 1:
            return
        try:
            o = bus.get_object(sender, path)
            told.append((str(o.GetRoleName(dbus_interface=ACC)), prop(o, "Name")))
        except dbus.exceptions.DBusException:
            told.append(("gone", str(path)))

    bus.add_signal_receiver(focused, signal_name="StateChanged",
                            dbus_interface="org.a11y.atspi.Event.Object",
                            sender_keyword="sender", path_keyword="path")
    context = GLib.MainLoop().get_context()

    def pump(seconds):
        end = time.time() + seconds
        while time.time() < end:
            context.iteration(False)
            time.sleep(0.01)

    if lists:
        lists[0][0].GrabFocus(dbus_interface="org.a11y.atspi.Component")
    pump(1.0)
    keys = bus.get_object("org.a11y.atspi.Registry",
                          "/org/a11y/atspi/registry/deviceeventcontroller")
    told.clear()
    down_keysym, by_keysym = 0xFF54, 3
    for _ in range(3):
        keys.GenerateKeyboardEvent(down_keysym, "", by_keysym,
                                   dbus_interface="org.a11y.atspi.DeviceEventController")
        pump(0.5)
    cells = [name for role, name in told if role == "cell"]
    print(f"Customer Manager: the down arrow told {cells}")
    if len(cells) < 3 or len(set(cells)) < 3 or any(not c.strip() for c in cells):
        problems.append(f"Customer Manager: three down arrows told {told}, not three customers")
    elif cells != sorted(cells, key=str.lower):
        problems.append(f"Customer Manager: the down arrow told {cells}, not in the list's order")

    close = find(manager, "push button", "Close")
    if close is not None:
        close.DoAction(0, dbus_interface="org.a11y.atspi.Action", ignore_reply=True)

for p in problems:
    print(p, file=sys.stderr)
print(f"atspi-walk: {len(problems)} problem(s)")
sys.exit(1 if problems else 0)

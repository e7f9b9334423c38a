#!/usr/bin/python3
# What a screen reader finds over the desktop's accessibility bus (AT-SPI): the program's
# windows walked as Orca walks them. Every control a person can reach that is showing must
# have a name, and every list must be a named table with its column titles. The main window
# is walked, then each manager (companies, customers, products, invoices), opened by its
# button's own action as a screen reader user opens it: its list must be a named table with
# rows and column titles, the arrows pressed in it must move the focus the screen reader is
# told of from record to record, and Close closes it again.
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
    try:
        if depth > 12 or not showing(o):
            return
        role = str(o.GetRoleName(dbus_interface=ACC))
        name = prop(o, "Name")
    except dbus.exceptions.DBusException:
        return  # a cell of a page that has moved on meanwhile
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
    try:
        if str(o.GetRoleName(dbus_interface=ACC)) == role and prop(o, "Name") == name:
            return o if showing(o) else None
        if str(o.GetRoleName(dbus_interface=ACC)) == "table":
            return None  # no buttons among the rows
        refs = children(o)
    except dbus.exceptions.DBusException:
        return None  # a cell of a page that has moved on meanwhile
    for ref in refs:
        hit = find(node(ref), role, name, depth + 1)
        if hit is not None:
            return hit
    return None


# The focus the screen reader is told of, as the desktop's registry passes it on.
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


keyboard = bus.get_object("org.a11y.atspi.Registry",
                          "/org/a11y/atspi/registry/deviceeventcontroller")
DOWN, UP, BY_KEYSYM = 0xFF54, 0xFF52, 3


def press(keysym):
    keyboard.GenerateKeyboardEvent(keysym, "", BY_KEYSYM,
                                   dbus_interface="org.a11y.atspi.DeviceEventController")
    pump(0.5)


def visit(button_name, title, column, keys, ordered):
    """Opens a manager by its button, walks it and moves through its list with keys."""
    button = find(main, "push button", button_name)
    if button is None:
        problems.append(f"main window: no push button named {button_name}")
        return
    # The button's own action, as a screen reader presses it; the window it opens is
    # modal, so the answer comes only when it closes.
    button.DoAction(0, dbus_interface="org.a11y.atspi.Action", ignore_reply=True)
    manager = wait_for(
        lambda: next((node(r) for r in children(app)
                      if prop(node(r), "Name").startswith(title) and showing(node(r))), None),
        f"the {title}")
    del tables[:]
    walk(manager, title)
    if len(tables) != 1:
        problems.append(f"{title}: {len(tables)} tables, not its list")
    for table, where in tables[:1]:
        t = "org.a11y.atspi.Table"
        rows = int(table.Get(t, "NRows", dbus_interface="org.freedesktop.DBus.Properties"))
        columns = int(table.Get(t, "NColumns", dbus_interface="org.freedesktop.DBus.Properties"))
        titles = [str(table.GetColumnDescription(c, dbus_interface=t)) for c in range(columns)]
        print(f"{where}: {rows} rows, columns {titles}")
        if rows < 1:
            problems.append(f"{where}: no rows")
        if column not in titles:
            problems.append(f"{where}: column titles {titles} lack {column}")
        table.GrabFocus(dbus_interface="org.a11y.atspi.Component")
        pump(1.0)
        told.clear()
        for key in keys:
            press(key)
        cells = [name for role, name in told if role == "cell"]
        print(f"{title}: the arrows told {cells}")
        if len(cells) < len(keys) or any(not c.strip() for c in cells):
            problems.append(f"{title}: {len(keys)} arrows told {told}, not a row each")
        elif ordered and (len(set(cells)) < len(cells) or cells != sorted(cells, key=str.lower)):
            problems.append(f"{title}: the down arrow told {cells}, not the list's next rows")
    close = find(manager, "push button", "Close")
    if close is None:
        problems.append(f"{title}: no push button named Close")
        return
    close.DoAction(0, dbus_interface="org.a11y.atspi.Action", ignore_reply=True)
    def closed():
        try:
            return None if showing(manager) else True
        except dbus.exceptions.DBusException:
            return True  # the window is gone

    wait_for(closed, f"the {title} to close")


app = wait_for(program, "the program on the accessibility bus")
main = wait_for(lambda: window(app, "ZT Invarro"), "the main window")
# The company is open once its buttons show.
wait_for(lambda: find(main, "push button", "Customers"), "the Customers button")
walk(main, "main window")
visit("Customers", "Customer Manager", "Name", [DOWN, DOWN, DOWN], True)
visit("Products", "Product Manager", "Code", [DOWN, DOWN, DOWN], True)
visit("Invoices", "Invoice Manager", "Invoice#", [UP, UP, UP], False)
visit("Companies/System Options", "Company Manager", "Company Name", [DOWN, UP], False)

for p in problems:
    print(p, file=sys.stderr)
print(f"atspi-walk: {len(problems)} problem(s)")
sys.exit(1 if problems else 0)

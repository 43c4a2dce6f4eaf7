"""A python3-dbusmock template of UDisks2 as far as an unmount goes: the
manager resolves /dev/sr0 and /dev/sr1 to their block objects, and each
one's filesystem answers Unmount (recorded by the mock)."""

import dbus

BUS_NAME = "org.freedesktop.UDisks2"
MAIN_OBJ = "/org/freedesktop/UDisks2"
MAIN_IFACE = "org.freedesktop.UDisks2"
SYSTEM_BUS = True
BLOCKS = "/org/freedesktop/UDisks2/block_devices/"


def load(mock, _parameters):
    mock.AddObject("/org/freedesktop/UDisks2/Manager", "org.freedesktop.UDisks2.Manager",
                   {"Version": "2.9.4"},
                   [("ResolveDevice", "a{sv}a{sv}", "ao",
                     f'ret = ["{BLOCKS}" + args[0]["path"][5:]] '
                     'if args[0].get("path") in ("/dev/sr0", "/dev/sr1") else []')])
    for device in ("sr0", "sr1"):
        mock.AddObject(BLOCKS + device, "org.freedesktop.UDisks2.Filesystem",
                       {"MountPoints": dbus.Array([], signature="ay")},
                       [("Unmount", "a{sv}", "", "")])

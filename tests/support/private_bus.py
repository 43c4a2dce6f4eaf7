#!/usr/bin/python3
"""A private D-Bus daemon standing in for the system bus, with logind and
UDisks2 mocked by python3-dbusmock. As a program it runs the command after
it with DBUS_SYSTEM_BUS_ADDRESS pointing at that bus; as a module, PrivateBus
does the same for a test in Python and asks the mocks what they were told."""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LOGIND = ("org.freedesktop.login1", "/org/freedesktop/login1")


class PrivateBus:
    def __enter__(self):
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        self.env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address)
        self.mocks = [self._mock("logind", LOGIND[0]),
                      self._mock(os.path.join(HERE, "udisks2_mock.py"), "org.freedesktop.UDisks2")]
        return self

    def _mock(self, template, name):
        mock = subprocess.Popen([sys.executable, "-m", "dbusmock", "--template", template],
                                env=self.env, stdout=subprocess.DEVNULL)
        for _ in range(100):
            if name in self.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus.ListNames"):
                return mock
            time.sleep(0.05)
        raise RuntimeError(f"the mock of {name} did not come up")

    def call(self, service, path, method, *args):
        """A method call with dbus-send; its reply as printed."""
        return subprocess.run(
            ["dbus-send", f"--bus={self.address}", "--print-reply", f"--dest={service}", path,
             method, *args], check=True, capture_output=True, text=True).stdout

    def inhibitors(self):
        """logind's locks now, as (what, who, why, mode) quadruples."""
        reply = self.call(*LOGIND, "org.freedesktop.login1.Manager.ListInhibitors")
        texts = [line.strip()[len('string "'):-1] for line in reply.splitlines()
                 if line.strip().startswith('string "')]
        return [tuple(texts[i:i + 4]) for i in range(0, len(texts), 4)]

    def __exit__(self, *_):
        for process in self.mocks + [self.daemon]:
            process.terminate()
            process.wait()


if __name__ == "__main__":
    with PrivateBus() as bus:
        sys.exit(subprocess.run(sys.argv[1:], env=bus.env).returncode)

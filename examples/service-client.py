#!/usr/bin/python3
"""A calling program of the KX6000 download service, written against the bus
alone: create a manager, choose the model and the port, report, load a file and
download it while the status and the percentage are printed as they change.

    service-client.py [--radio 6100|6200] [--port N] FILE

Needs Debian's python3-dbus and python3-gi. The manager lives as long as this
program's connection to the bus.
"""
import argparse
import os
import sys

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

SERVICE = "com.veltrane.KX6000Download"
MANAGER = "com.veltrane.KX6000Download.Manager"
# A radio operation answers when it ends: a download takes minutes.
OPERATION_TIMEOUT = 30 * 60


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--radio", type=int, default=6100, choices=(6100, 6200))
    parser.add_argument("--port", default="1")
    parser.add_argument("file")
    args = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    component = bus.get_object(SERVICE, "/com/veltrane/KX6000Download")
    path = component.CreateManager(dbus_interface="com.veltrane.KX6000Download.Component")
    obj = bus.get_object(SERVICE, path)
    manager = dbus.Interface(obj, MANAGER)
    properties = dbus.Interface(obj, dbus.PROPERTIES_IFACE)

    def changed(interface, values, invalidated):
        if "Status" in values:
            print("status:", values["Status"], flush=True)
        if "Percentage" in values:
            print("progress: %d %%" % values["Percentage"], flush=True)

    properties.connect_to_signal("PropertiesChanged", changed)
    properties.Set(MANAGER, "RadioType", dbus.Int32(args.radio))
    print("SetPort:", manager.SetPort(args.port, False))

    loop = GLib.MainLoop()
    results = {}

    def run(name, call, *arguments):
        # Asynchronous, so the signals are printed while the radio works.
        def done(result, text):
            results[name] = (int(result), str(text))
            loop.quit()

        def failed(error):
            results[name] = (-1, str(error))
            loop.quit()

        call(*arguments, reply_handler=done, error_handler=failed, timeout=OPERATION_TIMEOUT)
        loop.run()
        print("%s: %d %s" % (name, *results[name]), flush=True)
        return results[name][0]

    if run("ReportConfigurations", manager.ReportConfigurations, "") == 0:
        # The service runs in its own folder: the file's path is made absolute here.
        if manager.LoadFiles(os.path.abspath(args.file)) == 0:
            run("DownLoad", manager.DownLoad, "")
    number, message = manager.GetLastError()
    manager.Release()
    print("GetLastError: %d %s" % (number, message))
    return 0 if number == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

'''logind for Torvel's tests: the stock dbusmock logind, except that Inhibit records who really
called it (the caller's pid and uid, as the bus knows them) instead of one fixed pid and uid, so
that one process's inhibitor can be told from another's with the same words.
'''

import os

import dbus
from gi.repository import GLib

from dbusmock import mockobject
from dbusmock.templates import logind

BUS_NAME = logind.BUS_NAME
MAIN_OBJ = logind.MAIN_OBJ
MAIN_IFACE = logind.MAIN_IFACE
SYSTEM_BUS = True


def load(mock, parameters):
    logind.load(mock, parameters)


def _caller(connection, sender, method):
    bus = connection.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus')
    return dbus.UInt32(bus.get_dbus_method(method, 'org.freedesktop.DBus')(sender))


@dbus.service.method(MAIN_IFACE, in_signature='ssss', out_signature='h', sender_keyword='sender',
                     connection_keyword='connection')
def Inhibit(_, what, who, why, mode, sender=None, connection=None):
    if not hasattr(mockobject, 'inhibitors'):
        mockobject.inhibitors = []
    uid = _caller(connection, sender, 'GetConnectionUnixUser')
    pid = _caller(connection, sender, 'GetConnectionUnixProcessID')
    inhibitor = (what, who, why, mode, uid, pid)
    mockobject.inhibitors.append(inhibitor)
    fd_r, fd_w = os.pipe()

    def dropped(fd, _condition):
        os.close(fd)
        if inhibitor in mockobject.inhibitors:  # unless ForgetInhibitorsOf dropped it already
            mockobject.inhibitors.remove(inhibitor)
        return False

    # The inhibitor lives while the caller keeps its copy of the descriptor open.
    GLib.unix_fd_add_full(GLib.PRIORITY_HIGH, fd_r, GLib.IO_HUP, dropped)
    GLib.idle_add(os.close, fd_w)
    return fd_w


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='a(ssssuu)')
def ListInhibitors(_):
    return getattr(mockobject, 'inhibitors', [])


@dbus.service.method('org.freedesktop.DBus.Mock', in_signature='u', out_signature='')
def ForgetInhibitorsOf(_, pid):
    '''logind drops a process's inhibitors behind its back.'''
    mockobject.inhibitors = [i for i in getattr(mockobject, 'inhibitors', []) if i[5] != pid]

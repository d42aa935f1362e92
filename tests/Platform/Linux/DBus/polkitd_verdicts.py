'''polkitd for Torvel's tests: the stock dbusmock polkitd, except that each action can be answered
"yes", "challenge" (yes, after a password), "no", "error" or "silent" (never answered), and every
subject asked about is kept, so a test can see which process was named.
'''

import dbus

from dbusmock import MOCK_IFACE
from dbusmock.templates import polkitd

BUS_NAME = polkitd.BUS_NAME
MAIN_OBJ = polkitd.MAIN_OBJ
MAIN_IFACE = polkitd.MAIN_IFACE
SYSTEM_BUS = True


def load(mock, parameters):
    polkitd.load(mock, parameters)
    mock.verdicts = dict(parameters.get('verdicts', {}))
    mock.subjects = []
    mock.asked = []


@dbus.service.method(MAIN_IFACE, in_signature='(sa{sv})sa{ss}us', out_signature='(bba{ss})',
                     async_callbacks=('reply', 'fail'))
def CheckAuthorization(self, subject, action_id, _details, flags, _cancellation_id, reply, fail):
    self.subjects.append(subject)
    self.asked.append('%s %d' % (action_id, flags))
    verdict = self.verdicts.get(action_id, 'yes' if self.allow_unknown else 'no')
    if verdict == 'silent':
        return  # a hung polkit: the caller's own timeout is the only answer
    if verdict == 'error':
        fail(dbus.exceptions.DBusException('no such action', name='org.freedesktop.PolicyKit1.Error.Failed'))
        return
    reply((verdict == 'yes' or verdict == 'challenge', verdict == 'challenge', {}))


@dbus.service.method(MOCK_IFACE, in_signature='a{ss}', out_signature='')
def SetVerdicts(self, verdicts):
    self.verdicts = dict(verdicts)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def SubjectKinds(self):
    '''Each subject asked about as "kind pid start-time uid".'''
    return ['%s %s %s %s' % (s[0], s[1].get('pid', '-'), s[1].get('start-time', '-'), s[1].get('uid', '-'))
            for s in self.subjects]


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def AskedActions(self):
    '''Each check so far as "action flags", in order.'''
    return self.asked

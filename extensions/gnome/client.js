/* exported TorvelClient, SERVICE */
// Torvel as this extension knows it: the properties of com.torvel.Torvel1, kept current by its
// change signal, and its methods. Nothing here starts Torvel except a call made with `start: true`.
// Every subscription is taken in the constructor and given back in destroy(), so a disabled
// extension leaves no match rule on the shell's bus connection.
const {Gio, GLib} = imports.gi;
const Signals = imports.signals;

var SERVICE = 'com.torvel.Torvel';
const PATH = '/com/torvel/Torvel';
const INTERFACE = 'com.torvel.Torvel1';

// The properties this extension reads, with their D-Bus types; a value of another type is ignored.
const PROPERTIES = {
    Active: 'b',
    Reasons: 'as',
    CountdownEnd: 'x',
    RemainingText: 's',
    IconName: 's',
    ProfileID: 's',
    Profiles: 'aa{sv}',
    AutomationPaused: 'b',
    EmergencyAlarm: 's',
    RunningApps: 'a(ssi)',
    Language: 's',
};

// The texts the extension shows, by Torvel's own keys.
const TEXT_KEYS = [
    'a11y.status_active', 'a11y.status_inactive',
    'duration.12h', 'duration.15min', 'duration.1h', 'duration.2h', 'duration.30min', 'duration.4h',
    'duration.8h', 'duration.indefinite',
    'menu.about', 'menu.extend', 'menu.extend.15min', 'menu.extend.1h', 'menu.keep_awake_until_quit',
    'menu.pause_automation', 'menu.pause_automation.1h', 'menu.pause_automation.indefinite',
    'menu.pause_automation.morning', 'menu.profiles', 'menu.resume_automation', 'menu.settings',
    'menu.silence_alarm', 'menu.sleep_for',
    'reason.external_display', 'reason.manual', 'reason.mirroring', 'reason.process_running',
    'reason.profile', 'reason.timer', 'reason.trusted_network',
    'quick_settings.title',
];

var TorvelClient = class {
    constructor() {
        this._bus = Gio.DBus.session;
        this._cancellable = new Gio.Cancellable();
        this._owner = null;
        this._properties = {};
        this._texts = {};
        this._generation = 0;  // answers for an earlier owner are dropped
        this._watch = Gio.bus_watch_name_on_connection(this._bus, SERVICE,
            Gio.BusNameWatcherFlags.NONE,
            (bus, name, owner) => this._appeared(owner),
            () => this._vanished());
        this._subscription = this._bus.signal_subscribe(SERVICE, 'org.freedesktop.DBus.Properties',
            'PropertiesChanged', PATH, INTERFACE, Gio.DBusSignalFlags.NONE,
            (bus, sender, path, iface, signal, parameters) => this._propertiesChanged(sender, parameters));
    }

    destroy() {
        this._cancellable.cancel();
        if (this._watch) {
            Gio.bus_unwatch_name(this._watch);
            this._bus.signal_unsubscribe(this._subscription);
            this._watch = 0;
        }
        this.disconnectAll();
    }

    /** Whether Torvel is on the bus (its properties are known once `changed` said so). */
    get running() {
        return this._owner !== null && this._properties.Active !== undefined;
    }

    /** A property's value as Torvel last said; `fallback` while it is not known. */
    get(name, fallback) {
        const value = this._properties[name];
        return value === undefined ? fallback : value;
    }

    /** Torvel's text for `key` in the language it shows; '' while Torvel is not running. */
    text(key) {
        return this._texts[key] ?? '';
    }

    /**
     * Calls `method` and resolves with its unpacked answer, or rejects. Torvel is started by the bus
     * for the call only when `start` is true. A `detached` call is not cancelled by destroy(): it is
     * what the extension tells Torvel as it goes.
     */
    call(method, parameters = null, replyType = null, {start = false, detached = false} = {}) {
        return new Promise((resolve, reject) => {
            this._bus.call(SERVICE, PATH, INTERFACE, method, parameters,
                replyType ? new GLib.VariantType(replyType) : null,
                start ? Gio.DBusCallFlags.NONE : Gio.DBusCallFlags.NO_AUTO_START,
                -1, detached ? null : this._cancellable, (bus, result) => {
                    try {
                        resolve(bus.call_finish(result).deepUnpack());
                    } catch (e) {
                        reject(e);
                    }
                });
        });
    }

    /** Asks Torvel for one property afresh; its answer arrives through `changed`. */
    refresh(name) {
        const generation = this._generation;
        this._bus.call(SERVICE, PATH, 'org.freedesktop.DBus.Properties', 'Get',
            new GLib.Variant('(ss)', [INTERFACE, name]), new GLib.VariantType('(v)'),
            Gio.DBusCallFlags.NO_AUTO_START, -1, this._cancellable, (bus, result) => {
                try {
                    const [value] = bus.call_finish(result).deepUnpack();
                    if (generation === this._generation && this._take(name, value))
                        this.emit('changed');
                } catch (e) {
                    this.complain(`Reading ${name}`, e);
                }
            });
    }

    _appeared(owner) {
        this._owner = owner;
        const generation = ++this._generation;
        this._bus.call(SERVICE, PATH, 'org.freedesktop.DBus.Properties', 'GetAll',
            new GLib.Variant('(s)', [INTERFACE]), new GLib.VariantType('(a{sv})'),
            Gio.DBusCallFlags.NO_AUTO_START, -1, this._cancellable, (bus, result) => {
                try {
                    const [all] = bus.call_finish(result).deepUnpack();
                    if (generation !== this._generation)
                        return;
                    for (const [name, value] of Object.entries(all))
                        this._take(name, value);
                    this._loadTexts(generation);
                } catch (e) {
                    this.complain('Reading Torvel\'s state', e);
                }
            });
    }

    _vanished() {
        ++this._generation;
        this._owner = null;
        this._properties = {};
        this._texts = {};
        this.emit('changed');
    }

    _propertiesChanged(sender, parameters) {
        if (sender !== this._owner || parameters.get_type_string() !== '(sa{sv}as)')
            return;
        const [, changed] = parameters.deepUnpack();
        let any = false;
        for (const [name, value] of Object.entries(changed))
            any = this._take(name, value) || any;
        if (!any)
            return;
        if (changed.Language)
            this._loadTexts(this._generation);
        else
            this.emit('changed');
    }

    /** Keeps `value` (a GLib.Variant) when `name` is one this extension reads and its type fits. */
    _take(name, value) {
        const type = PROPERTIES[name];
        if (!type || !(value instanceof GLib.Variant))
            return false;
        if (value.get_type_string() !== type) {
            log(`Torvel: ignored ${name} of type ${value.get_type_string()} (expected ${type})`);
            return false;
        }
        this._properties[name] = value.recursiveUnpack();
        return true;
    }

    _loadTexts(generation) {
        this._bus.call(SERVICE, PATH, INTERFACE, 'GetTexts', new GLib.Variant('(as)', [TEXT_KEYS]),
            new GLib.VariantType('(a{ss})'), Gio.DBusCallFlags.NO_AUTO_START, -1, this._cancellable,
            (bus, result) => {
                try {
                    const [texts] = bus.call_finish(result).deepUnpack();
                    if (generation !== this._generation)
                        return;
                    this._texts = texts;
                } catch (e) {
                    this.complain('Reading Torvel\'s texts', e);
                }
                if (generation === this._generation)
                    this.emit('changed');
            });
    }

    /** Logs a failed call, unless it failed because the extension is going or Torvel left. */
    complain(what, error) {
        // Cancelled: the extension is being disabled. Torvel leaving in the middle of a call is told
        // by the name watch and is not an error either (a Torvel that is quitting has taken its
        // object down before its name).
        if (error.matches(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED) ||
            error.matches(Gio.DBusError, Gio.DBusError.SERVICE_UNKNOWN) ||
            error.matches(Gio.DBusError, Gio.DBusError.UNKNOWN_OBJECT) ||
            error.matches(Gio.DBusError, Gio.DBusError.NAME_HAS_NO_OWNER))
            return;
        log(`Torvel: ${what} failed: ${error.message}`);
    }
};
Signals.addSignalMethods(TorvelClient.prototype);

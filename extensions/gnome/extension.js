/* exported init */
// Shows Torvel in GNOME's quick settings. While enabled it owns the bus name below, which tells
// Torvel to offer no tray icon of its own; disabling gives the name back and Torvel's icon returns.
const {Gio} = imports.gi;
const Main = imports.ui.main;

const Me = imports.misc.extensionUtils.getCurrentExtension();
const {TorvelClient} = Me.imports.client;
const {TorvelIndicator} = Me.imports.indicator;
const Compat = Me.imports.compat;

const SHOWN_NAME = 'com.torvel.Torvel.ShellExtension';

class Extension {
    enable() {
        this._client = new TorvelClient();
        this._indicator = new TorvelIndicator(this._client);
        Compat.addToQuickSettings(this._indicator);
        // On the lock screen the top-bar icon still says the computer is kept awake; the toggle is
        // not offered there.
        this._sessionMode = Main.sessionMode.connect('updated', () => this._syncSessionMode());
        this._syncSessionMode();
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, SHOWN_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        Gio.bus_unown_name(this._name);
        Main.sessionMode.disconnect(this._sessionMode);
        this._indicator.destroy();
        this._client.destroy();
        this._indicator = null;
        this._client = null;
    }

    _syncSessionMode() {
        this._indicator.toggle.visible = !Main.sessionMode.isLocked;
    }
}

function init() {
    return new Extension();
}

/* exported TorvelIndicator */
// Torvel in the quick settings: a "Keep awake" toggle with Torvel's menu, and a top-bar icon (with the
// remaining time, where the user shows it) while the computer is kept awake. Everything shown comes
// from the TorvelClient; nothing here runs on a timer.
const {Clutter, Gio, GLib, GObject, St} = imports.gi;
const {QuickMenuToggle, SystemIndicator} = imports.ui.quickSettings;
const PopupMenu = imports.ui.popupMenu;

const Me = imports.misc.extensionUtils.getCurrentExtension();
const Compat = Me.imports.compat;

// The reasons Torvel's automatic triggers give; while one holds, the menu offers to pause them.
const AUTOMATIC_REASONS = ['externalDisplay', 'mirroring', 'processRunning', 'trustedNetwork'];
const REASON_KEYS = {
    externalDisplay: 'reason.external_display',
    manual: 'reason.manual',
    mirroring: 'reason.mirroring',
    processRunning: 'reason.process_running',
    profile: 'reason.profile',
    timer: 'reason.timer',
    trustedNetwork: 'reason.trusted_network',
};
// The tray menu's durations: text key and seconds (0: until turned off).
const DURATIONS = [
    ['duration.15min', 900], ['duration.30min', 1800], ['duration.1h', 3600], ['duration.2h', 7200],
    ['duration.4h', 14400], ['duration.8h', 28800], ['duration.12h', 43200], ['duration.indefinite', 0],
];

/** Torvel's two status icons, shipped with the extension: [inactive, active]. */
function loadIcons() {
    return ['torvel-inactive-symbolic', 'torvel-active-symbolic'].map(name =>
        new Gio.FileIcon({file: Me.dir.get_child('icons').get_child(`${name}.svg`)}));
}

/** What the toggle's menu holds as Torvel's state is now: plain data, compared to skip rebuilds. */
function menuModel(client) {
    if (!client.running)
        return [];
    const text = key => client.text(key);
    const action = (label, method, signature = null, args = null) => ({label, method, signature, args});
    const items = [];
    if (client.get('EmergencyAlarm') === 'sounding')
        items.push(action(text('menu.silence_alarm'), 'SilenceAlarm'));
    const active = client.get('Active', false);
    if (active && client.get('CountdownEnd', 0) > 0) {
        items.push({submenu: text('menu.extend'), items: [
            action(text('menu.extend.15min'), 'Extend', '(i)', [15]),
            action(text('menu.extend.1h'), 'Extend', '(i)', [60]),
        ]});
    }
    if (active && client.get('Reasons', []).some(reason => AUTOMATIC_REASONS.includes(reason))) {
        items.push({submenu: text('menu.pause_automation'), items: [
            action(text('menu.pause_automation.1h'), 'PauseAutomation', '(s)', ['hour']),
            action(text('menu.pause_automation.morning'), 'PauseAutomation', '(s)', ['morning']),
            action(text('menu.pause_automation.indefinite'), 'PauseAutomation', '(s)', ['indefinitely']),
        ]});
    }
    if (client.get('AutomationPaused', false))
        items.push(action(text('menu.resume_automation'), 'ResumeAutomation'));
    if (items.length > 0)
        items.push({separator: ''});

    items.push({submenu: text('menu.sleep_for'), items: DURATIONS.map(([key, seconds]) => seconds > 0
        ? action(text(key), 'Activate', '(ss)', ['duration', String(seconds)])
        : action(text(key), 'Activate', '(ss)', ['indefinite', '']))});
    const apps = client.get('RunningApps', []);
    if (apps.length > 0) {
        items.push({submenu: text('menu.keep_awake_until_quit'), items: apps.map(([id, name]) =>
            action(String(name), 'KeepAwakeWhileAppRuns', '(s)', [String(id)]))});
    }

    const profiles = client.get('Profiles', []).filter(profile => typeof profile.id === 'string');
    if (profiles.length > 0) {
        items.push({separator: text('menu.profiles')});
        const activeProfile = client.get('ProfileID', '');
        for (const profile of profiles) {
            items.push({...action(String(profile.displayName ?? profile.name ?? ''), 'ToggleProfile', '(s)',
                [profile.id]), checked: profile.id === activeProfile});
        }
    }
    items.push({separator: ''});
    items.push({...action(text('menu.settings'), 'ShowSettings', '(s)', ['']), closes: true});
    items.push({...action(text('menu.about'), 'ShowAbout'), closes: true});
    return items;
}

/**
 * The header's second line: the time left as the tray shows it, else the running profile's name, else
 * why the computer is kept awake (the reasons of an automatic session).
 */
function headerSubtitle(client) {
    if (!client.get('Active', false))
        return '';
    const remaining = client.get('RemainingText', '');
    if (remaining)
        return remaining;
    const profileID = client.get('ProfileID', '');
    const profile = client.get('Profiles', []).find(entry => profileID && entry.id === profileID);
    if (profile)
        return String(profile.displayName ?? profile.name ?? '');
    return client.get('Reasons', [])
        .filter(reason => REASON_KEYS[reason])
        .map(reason => client.text(REASON_KEYS[reason]))
        .join(', ');
}

const TorvelToggle = GObject.registerClass(
class TorvelToggle extends QuickMenuToggle {
    _init(client) {
        const icons = loadIcons();
        super._init({gicon: icons[0]});
        this._icons = icons;
        this._client = client;
        this._shownModel = null;
        this._followsApps = false;
        this.connect('clicked', () => this._toggle());
        this.menu.connect('open-state-changed', (menu, open) => this._followApps(open));
        this.sync();
    }

    sync() {
        const client = this._client;
        const active = client.running && client.get('Active', false);
        const title = client.text('quick_settings.title') || 'Torvel';
        Compat.setToggleTitle(this, title);
        this.checked = active;
        if (this.gicon !== this._icons[Number(active)])
            this.gicon = this._icons[Number(active)];
        this.accessible_description =
            client.text(active ? 'a11y.status_active' : 'a11y.status_inactive');
        this.menu.setHeader(this._icons[Number(active)], title, headerSubtitle(client));
        this.menuEnabled = client.running;

        const model = menuModel(client);
        const key = JSON.stringify(model);
        if (key === this._shownModel)
            return;
        this._shownModel = key;
        this._buildMenu(model);
    }

    /** Stops following the running applications for the menu (before the extension goes). */
    stopFollowingApps() {
        this._followApps(false);
    }

    _toggle() {
        // The one call that may start Torvel: a click on the toggle is the user asking for it.
        this._client.call('Toggle', null, '(bs)', {start: true}).catch(error => {
            // A refused start is told to the user by Torvel itself, as after a click on its icon.
            if (Gio.DBusError.get_remote_error(error) !== 'com.torvel.Torvel1.Error.Refused' &&
                !error.matches(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED))
                log(`Torvel: the toggle failed: ${error.message}`);
        });
    }

    _buildMenu(model) {
        this.menu.removeAll();
        const add = (menu, entry) => {
            if (entry.submenu !== undefined) {
                const sub = new PopupMenu.PopupSubMenuMenuItem(entry.submenu);
                entry.items.forEach(item => add(sub.menu, item));
                menu.addMenuItem(sub);
            } else if (entry.separator !== undefined) {
                menu.addMenuItem(new PopupMenu.PopupSeparatorMenuItem(entry.separator));
            } else {
                const item = new PopupMenu.PopupMenuItem(entry.label);
                if (entry.checked !== undefined)
                    item.setOrnament(entry.checked ? PopupMenu.Ornament.CHECK : PopupMenu.Ornament.NONE);
                item.connect('activate', () => this._perform(entry));
                menu.addMenuItem(item);
            }
        };
        model.forEach(entry => add(this.menu, entry));
    }

    _perform(entry) {
        if (entry.closes)
            Compat.closeQuickSettings();
        const args = entry.signature ? new GLib.Variant(entry.signature, entry.args) : null;
        this._client.call(entry.method, args)
            .catch(error => this._client.complain(entry.method, error));
    }

    _followApps(open) {
        // While the menu is open Torvel tells launches and exits, so the list stays right.
        if (open === this._followsApps || (open && !this._client.running))
            return;
        this._followsApps = open;
        this._client.call('SetRunningAppsShown', new GLib.Variant('(b)', [open]), null, {detached: !open})
            .catch(error => this._client.complain('SetRunningAppsShown', error));
        if (open)
            this._client.refresh('RunningApps');
    }
});

var TorvelIndicator = GObject.registerClass(
class TorvelIndicator extends SystemIndicator {
    _init(client) {
        super._init();
        this._client = client;
        this._icon = this._addIndicator();
        this._icon.gicon = loadIcons()[1];
        this._label = new St.Label({
            y_expand: true,
            y_align: Clutter.ActorAlign.CENTER,
        });
        this.add_child(this._label);
        this._toggle = new TorvelToggle(client);
        this.quickSettingsItems.push(this._toggle);
        this._changed = client.connect('changed', () => this.sync());
        this.sync();
    }

    get toggle() {
        return this._toggle;
    }

    sync() {
        const client = this._client;
        const remaining = client.get('RemainingText', '');
        this._label.text = remaining;
        this._label.visible = remaining !== '';
        this.visible = client.running && client.get('Active', false);
        this._toggle.sync();
    }

    destroy() {
        this._client.disconnect(this._changed);
        this._toggle.stopFollowingApps();
        Compat.destroyToggle(this._toggle);
        this.quickSettingsItems = [];
        super.destroy();
    }
});

/* exported addToQuickSettings, destroyToggle, setToggleTitle, closeQuickSettings */
// What differs between GNOME Shell versions, in one place. This is GNOME 43's way; 44 names the
// toggle's text `title`, and 45 has Main.panel.statusArea.quickSettings.addExternalIndicator() and
// ES modules.
const Main = imports.ui.main;

/** Puts the indicator in the top bar's system area and its toggles in the quick-settings grid. */
function addToQuickSettings(indicator) {
    const quickSettings = Main.panel.statusArea.quickSettings;
    quickSettings._indicators.insert_child_at_index(indicator, 0);
    quickSettings._addItems(indicator.quickSettingsItems);
}

/**
 * Destroys a toggle made by this extension. On 43 the toggle's menu actor lives in the quick-settings
 * overlay, not under the toggle, so it would outlive the toggle.
 */
function destroyToggle(toggle) {
    toggle.menu.close();
    toggle.menu.destroy();
    toggle.destroy();
}

function setToggleTitle(toggle, title) {
    toggle.label = title;
}

function closeQuickSettings() {
    Main.panel.closeQuickSettings();
}

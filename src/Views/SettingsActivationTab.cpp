#include "Views/SettingsActivationTab.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "UI/ActivationLists.h"
#include "UI/StayguardResultText.h"
#include "UI/WindowModel.h"
#include "Views/AccessKeys.h"
#include "Views/SettingsBinder.h"
#include "Views/SettingsNetworkSheet.h"
#include "Views/SettingsToggle.h"
#include "Views/SettingsWidgets.h"
#include "Views/TextTones.h"

namespace torvel {

namespace {

void clear(QVBoxLayout* layout) {
    while (auto* item = layout->takeAt(0)) {
        if (auto* widget = item->widget()) widget->deleteLater();
        delete item;
    }
}

QComboBox* assertionPicker(const SettingsContext& c, std::string_view labelKeyText, QVBoxLayout* section) {
    auto* combo = new QComboBox;
    for (const auto type : kAllAssertionTypes) combo->addItem(c.text(labelKey(type)));
    combo->setAccessibleName(c.text(labelKeyText));
    auto* form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    form->addRow(c.text(labelKeyText), combo);
    section->addLayout(form);
    return combo;
}

// A list row: a name from outside (a network's, an application's: shown as written), an optional status
// beside it, and a remove button named after the item.
QPushButton* listRow(QVBoxLayout* list, const QString& name, const QString& status, const QString& remove) {
    auto* row = new QWidget;
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    line->addWidget(label, 1);
    if (!status.isEmpty()) {
        auto* badge = new QLabel(status);
        badge->setForegroundRole(QPalette::PlaceholderText);
        line->addWidget(badge);
    }
    auto* button = new QPushButton(remove);
    // Every row has one: Tab reaches them, a letter could only cycle through them.
    AccessKeys::exclude(button);
    button->setAccessibleName(remove + QStringLiteral(": ") + name);
    line->addWidget(button);
    list->addWidget(row);
    return button;
}

}  // namespace

SettingsActivationTab::SettingsActivationTab(SettingsContext context, QWidget* parent)
    : QWidget(parent), context_(context) {
    auto& c = context_;
    QVBoxLayout* page = SettingsWidgets::scrolledPage(this);

    auto* smart = SettingsWidgets::section(page, c.text("settings.smart_activation"));
    auto* external = new SettingsToggle(c.text("settings.external_display"));
    auto* mirroring = new SettingsToggle(c.text("settings.mirroring"));
    smart->addWidget(external);
    smart->addWidget(mirroring);
    SettingsWidgets::caption(smart, c.text("settings.mirroring_note"));
    c.binder.toggle(external, &SettingsValues::autoActivateOnExternalDisplay);
    c.binder.toggle(mirroring, &SettingsValues::autoActivateOnMirroring);

    addTrustedNetworksSection(page);
    addStayguardSection(page);
    addProcessTriggerSection(page);
    page->addStretch(1);

    settingConnection_ = c.model.settingChanged.connect([this](std::string_view key) {
        if (key == kTrustedNetworksKey) rebuildNetworks();
        if (key == "watchedApps") rebuildWatchedApps();
    });
    runningAppsConnection_ = c.model.runningAppsChanged.connect([this] { rebuildWatchedApps(); });
    // A new Wi-Fi reading, also one that arrives late after Refresh, redraws the status line.
    wifiConnection_ = c.model.wifiStateChanged.connect([this] {
        if (context_.model.wifiStatus() != shownStatus_) rebuildNetworks();
    });
}

void SettingsActivationTab::addTrustedNetworksSection(QVBoxLayout* page) {
    auto& c = context_;
    auto* section = SettingsWidgets::section(page, c.text("settings.trusted_networks"));
    auto* enable = new SettingsToggle(c.text("settings.trusted_networks.enable"));
    section->addWidget(enable);
    c.binder.toggle(enable, &SettingsValues::trustedNetworkActivationEnabled);
    c.binder.assertionType(assertionPicker(c, "settings.trusted_networks.assertion_type", section),
                           &SettingsValues::trustedNetworkAssertionType);
    auto* lowPower = new SettingsToggle(c.text("settings.trusted_networks.lpm_on_lid_close"));
    auto* thermal = new SettingsToggle(c.text("settings.trusted_networks.thermal_killswitch"));
    section->addWidget(lowPower);
    section->addWidget(thermal);
    c.binder.toggle(lowPower, &SettingsValues::autoEnableLowPowerModeOnLidClose);
    c.binder.toggle(thermal, &SettingsValues::thermalKillSwitchEnabled);
    thermal->setToolTip(c.text("settings.help.thermal_kill_switch_enabled"));
    SettingsWidgets::caption(section, c.text("settings.trusted_networks.honesty_note"));

    auto* statusLine = new QHBoxLayout;
    wifiStatus_ = new QLabel;
    wifiStatus_->setTextFormat(Qt::PlainText);  // it names the network
    wifiStatus_->setWordWrap(true);
    auto* refresh = new QPushButton(c.text("settings.trusted_networks.refresh_status"));
    refresh->setAccessibleName(refresh->text());
    statusLine->addWidget(wifiStatus_, 1);
    statusLine->addWidget(refresh);
    section->addLayout(statusLine);
    connect(refresh, &QPushButton::clicked, this, [this] {
        // Reads the network again; the rows follow the reading when it arrives (at once for a monitor
        // that answers at once).
        context_.model.refreshWiFiState();
        if (context_.model.wifiStatus() != shownStatus_) rebuildNetworks();
    });

    auto* host = new QWidget;
    networks_ = new QVBoxLayout(host);
    networks_->setContentsMargins(0, 0, 0, 0);
    section->addWidget(host);
    auto* buttons = new QHBoxLayout;
    auto* addCurrent = addCurrent_ = new QPushButton(c.text("settings.trusted_networks.add_current"));
    auto* addManual = new QPushButton(c.text("settings.trusted_networks.add_manual"));
    for (auto* b : {addCurrent, addManual}) {
        b->setAccessibleName(b->text());
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    section->addLayout(buttons);
    connect(addCurrent, &QPushButton::clicked, this, [this] {
        if (const auto ssid = context_.model.currentSSID()) context_.model.addTrustedNetwork(*ssid);
    });
    connect(addManual, &QPushButton::clicked, this, &SettingsActivationTab::openNetworkSheet);
    rebuildNetworks();
}

void SettingsActivationTab::rebuildNetworks() {
    auto& c = context_;
    shownStatus_ = c.model.wifiStatus();
    wifiStatus_->setText(QString::fromStdString(c.model.wifiStatusText()));
    const auto currentSSID = c.model.currentSSID();
    addCurrent_->setEnabled(currentSSID && !currentSSID->empty() &&
                            !ActivationLists::trustedNetworkNamed(c.model, *currentSSID));
    clear(networks_);
    const auto& status = shownStatus_;
    const auto& list = c.model.trustedNetworks();
    if (list.empty()) {
        auto* empty = new QLabel(c.text("settings.trusted_networks.empty"));
        empty->setForegroundRole(QPalette::PlaceholderText);
        networks_->addWidget(empty);
    }
    for (const auto& network : list) {
        const bool current = status.kind == TrustedWiFiStatus::Kind::connected && status.ssid == network.ssid;
        auto* remove = listRow(networks_, QString::fromStdString(network.ssid),
                               current ? c.text("settings.trusted_networks.connected_now") : QString(),
                               c.text("settings.trusted_networks.remove"));
        const std::string ssid = network.ssid;
        connect(remove, &QPushButton::clicked, this, [this, ssid] { confirmNetworkRemoval(ssid); });
    }
}

void SettingsActivationTab::confirmNetworkRemoval(const std::string& ssid) {
    auto* box = new QMessageBox(QMessageBox::Warning, context_.text("settings.trusted_networks.remove_title"),
                                context_.format("settings.trusted_networks.remove_message", {ssid}),
                                QMessageBox::NoButton, window());
    box->setTextFormat(Qt::PlainText);  // the network's name as written
    box->setAttribute(Qt::WA_DeleteOnClose);
    auto* remove = box->addButton(context_.text("settings.delete"), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(context_.text("profile.cancel"), QMessageBox::RejectRole));
    AccessKeys::assign(box);
    connect(box, &QMessageBox::buttonClicked, this, [this, remove, ssid](QAbstractButton* clicked) {
        if (clicked == remove) context_.model.removeTrustedNetwork(ssid);
    });
    box->open();
}

void SettingsActivationTab::openNetworkSheet() {
    auto* sheet = new SettingsNetworkSheet(context_, window());
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

void SettingsActivationTab::addStayguardSection(QVBoxLayout* page) {
    auto& c = context_;
    auto* section = SettingsWidgets::section(page, c.text("settings.trusted_networks.stayguard_section"));
    SettingsWidgets::caption(section, c.text("settings.trusted_networks.stayguard_explainer"));
    auto* status = new QLabel;
    status->setWordWrap(true);
    section->addWidget(status);
    QLabel* grants = SettingsWidgets::plainText(section);
    QLabel* holders = SettingsWidgets::plainText(section);
    holders->setObjectName(QStringLiteral("settings.trusted_networks.stayguard_lid_other_holder"));
    setTextTone(holders, TextTone::warning);
    auto* install = new QPushButton;
    auto* installRow = new QHBoxLayout;
    installRow->addWidget(install);
    installRow->addStretch(1);
    section->addLayout(installRow);
    QLabel* result = SettingsWidgets::plainText(section);
    connect(install, &QPushButton::clicked, this, [this] { context_.model.installStayguard(); });

    const auto show = [this, status, grants, holders, install, result] {
        const auto& model = context_.model;
        const bool installed = model.isStayguardInstalled();
        const bool running = model.isStayguardInstallInProgress();
        status->setText(context_.text(installed ? "settings.trusted_networks.stayguard_status_installed"
                                                : "settings.trusted_networks.stayguard_status_missing"));
        QStringList lines;
        for (const auto& line : stayguardGrantLines(model.powerGrants(), context_.texts))
            lines << (!line.available ? QStringLiteral("– ")
                      : line.granted  ? QStringLiteral("✓ ")
                                      : QStringLiteral("✗ ")) +
                         QString::fromStdString(line.text);
        grants->setText(lines.join(QLatin1Char('\n')));
        grants->setAccessibleName(lines.join(QStringLiteral(", ")));
        QStringList others;
        for (const auto& text : lidHolderTexts(model.otherLidHolders(), context_.texts))
            others << QString::fromStdString(text);
        holders->setText(others.join(QLatin1Char('\n')));
        holders->setAccessibleName(holders->text());
        holders->setVisible(!others.isEmpty());
        const QString installText = context_.text(running ? "settings.trusted_networks.stayguard_installing"
                                                          : "settings.trusted_networks.stayguard_install");
        AccessKeys::setText(install, installText);
        install->setAccessibleName(installText);
        install->setEnabled(!running && !installed);
        const auto shown = stayguardResultText(model.lastStayguardInstallResult(), context_.texts);
        result->setText(QString::fromStdString(shown.text));
        const bool good = shown.colour == StayguardResultText::Colour::green;
        setTextTone(result, good ? TextTone::success : TextTone::warning);
        result->setVisible(!shown.text.empty());
    };
    show();
    stayguardConnection_ = c.model.stayguardChanged.connect(show);
    // Whether the desktop decides the lid itself is read as the section opens, not watched.
    c.model.checkLidHolders();
}

void SettingsActivationTab::addProcessTriggerSection(QVBoxLayout* page) {
    auto& c = context_;
    auto* section = SettingsWidgets::section(page, c.text("settings.process_trigger"));
    auto* enable = new SettingsToggle(c.text("settings.process_trigger.enable"));
    section->addWidget(enable);
    c.binder.toggle(enable, &SettingsValues::processTriggerEnabled);
    auto* add = new QToolButton;
    add->setText(c.text("settings.process_trigger.add_app"));
    add->setAccessibleName(add->text());
    add->setPopupMode(QToolButton::InstantPopup);
    addAppMenu_ = new QMenu(add);
    add->setMenu(addAppMenu_);
    // Read when opened: the list is always the one running now, and nothing scans while it is closed.
    connect(addAppMenu_, &QMenu::aboutToShow, this, &SettingsActivationTab::fillAddAppMenu);
    section->addWidget(add, 0, Qt::AlignLeft);
    c.binder.assertionType(assertionPicker(c, "settings.process_trigger.assertion_type", section),
                           &SettingsValues::processTriggerAssertionType);
    auto* host = new QWidget;
    watched_ = new QVBoxLayout(host);
    watched_->setContentsMargins(0, 0, 0, 0);
    section->addWidget(host);
    rebuildWatchedApps();
}

void SettingsActivationTab::fillAddAppMenu() {
    addAppMenu_->clear();
    const auto& watched = context_.model.watchedApps();
    for (const auto& app : context_.model.runningApplications()) {
        const bool known = std::any_of(watched.begin(), watched.end(),
                                       [&app](const WatchedApp& w) { return w.desktopId == app.desktopId; });
        if (known || app.desktopId.empty()) continue;
        // A menu entry reads "&" as the mark of its access key: "Tom & Jerry" must keep its "&".
        const QString name = QString::fromStdString(app.name.empty() ? app.desktopId : app.name);
        auto* action = addAppMenu_->addAction(AccessKeys::escaped(name));
        const RunningAppInfo chosen = app;
        connect(action, &QAction::triggered, this,
                [this, chosen] { ActivationLists::watchApp(context_.model, chosen, context_.clock.now()); });
    }
    if (addAppMenu_->isEmpty())
        addAppMenu_->addAction(context_.text("settings.process_trigger.none_running"))->setEnabled(false);
}

void SettingsActivationTab::rebuildWatchedApps() {
    auto& c = context_;
    clear(watched_);
    const auto& apps = c.model.watchedApps();
    if (apps.empty()) {
        auto* empty = new QLabel(c.text("settings.process_trigger.empty"));
        empty->setForegroundRole(QPalette::PlaceholderText);
        watched_->addWidget(empty);
        return;
    }
    const auto running = c.model.runningApplications();
    for (const auto& app : apps) {
        const bool runs = std::any_of(running.begin(), running.end(), [&app](const RunningAppInfo& r) {
            return r.desktopId == app.desktopId;
        });
        auto* remove = listRow(watched_, QString::fromStdString(app.name),
                               runs ? c.text("settings.process_trigger.status_running") : QString(),
                               c.text("settings.process_trigger.remove"));
        const Uuid id = app.id;
        connect(remove, &QPushButton::clicked, this,
                [this, id] { ActivationLists::unwatchApp(context_.model, id); });
    }
}

}  // namespace torvel

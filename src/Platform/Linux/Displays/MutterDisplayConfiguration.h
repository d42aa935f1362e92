#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform/DisplayConfiguration.h"
#include "Platform/Log.h"

class QDBusServiceWatcher;

namespace torvel {

/// Mirroring as GNOME's compositor arranges it, from Mutter's org.gnome.Mutter.DisplayConfig on the
/// session bus: the monitors placed in a logical monitor are the online displays, and a logical monitor
/// shown by two or more monitors is a mirror. Under Wayland every monitor has a CRTC of its own, so
/// only the compositor knows what is cloned.
///
/// GetCurrentState is asked asynchronously at start, on every MonitorsChanged and whenever Mutter takes
/// its name; nothing waits on the main loop. While Mutter does not answer (another desktop, no session
/// bus) `fallback` answers instead and only then is listened to; each switch is one reconfiguration.
class MutterDisplayConfiguration : public QObject, public DisplayConfiguration {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.gnome.Mutter.DisplayConfig";
    static constexpr int kCallTimeoutMs = 5000;
    /// Monitors read from one answer; a desk has a handful, and more is no answer to trust.
    static constexpr std::size_t kMaxMonitors = 64;

    /// Who answers: nobody yet (Mutter's first answer is awaited), Mutter, or the fallback.
    enum class Source { pending, mutter, fallback };

    /// What one GetCurrentState answer says, by connector name.
    struct State {
        std::vector<std::string> online;
        std::set<std::string> mirrored;
    };

    MutterDisplayConfiguration(QDBusConnection session, std::unique_ptr<DisplayConfiguration> fallback,
                               LogSink& log);
    ~MutterDisplayConfiguration() override;

    /// Mutter's last answer, or the fallback's reading; nothing while the first answer is awaited.
    std::vector<DisplayID> onlineDisplays(std::size_t maxCount) override;
    bool isInMirrorSet(DisplayID display) override;

    Source source() const { return source_; }
    /// Reads a GetCurrentState reply; std::nullopt for an error or anything not shaped like one.
    static std::optional<State> parse(const QDBusMessage& reply);

private Q_SLOTS:
    void onMonitorsChanged();

private:
    void fetch();
    void received(const QDBusMessage& reply);
    void use(Source source);
    /// Passes the fallback's reconfigurations on while it answers and someone listens here.
    void followFallback();
    void announce();

    QDBusConnection bus_;
    std::unique_ptr<DisplayConfiguration> fallback_;
    Logger log_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    bool subscribed_ = false;
    Source source_ = Source::pending;
    /// Only the answer to the latest question counts; earlier ones are older news.
    unsigned latest_ = 0;
    /// Each connector keeps its id while it stays in Mutter's answers.
    std::map<std::string, DisplayID> ids_;
    DisplayID nextId_ = 1;
    std::vector<DisplayID> online_;
    std::set<DisplayID> mirrored_;
    bool reportedBadAnswer_ = false;
    Connection fallbackReconfiguration_;
};

}  // namespace torvel

#pragma once

#include <QDBusContext>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace torvel {

class Windows;

/// One window the window process is asked for: `torvel-windows settings [TAB]`, `about`,
/// `custom-duration`, `onboarding [X Y]`, or the same through Show() on the bus.
struct WindowRequest {
    enum class Kind { settings, about, customDuration, onboarding };
    Kind kind = Kind::settings;
    /// The settings tab's name; empty for general.
    std::string tab;
    /// Where the first-start hint goes (screen coordinates); centred when absent.
    std::optional<QPoint> near;

    /// Reads a request from its words (the window's name first); std::nullopt with `error` set when it
    /// does not read: an unknown window or tab, a point that is not two integers, words left over.
    static std::optional<WindowRequest> parse(const QStringList& words, QString& error);
};

/// The running window process on the session bus: owns kServiceName, so that a second
/// `torvel-windows` hands its request over (Show) instead of opening a second set of windows.
class WindowProcess : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.torvel.Torvel.Windows")
public:
    static constexpr const char* kServiceName = "com.torvel.Torvel.Windows";
    static constexpr const char* kObjectPath = "/com/torvel/Torvel/Windows";
    static constexpr const char* kInterface = "com.torvel.Torvel.Windows";

    explicit WindowProcess(Windows& windows, QObject* parent = nullptr);

    /// Shows (or raises) the window `request` names, with `token` (may be empty) for the window
    /// system's focus rules. False when there is nothing to show (the hint was seen).
    bool show(const WindowRequest& request, const std::string& token);

public Q_SLOTS:
    /// A second start's request: `window` and `argument` as the command line gives them (the argument
    /// empty for none), `activationToken` its XDG activation token (empty for none).
    void Show(const QString& window, const QString& argument, const QString& activationToken);
    /// Closes every window (the process then ends).
    void Close();

private:
    /// Ends the process once no window is on screen.
    void quitWithoutWindows();

    Windows& windows_;
};

}  // namespace torvel

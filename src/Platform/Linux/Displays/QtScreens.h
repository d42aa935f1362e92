#pragma once

#include <QObject>
#include <memory>

#include "Platform/Log.h"
#include "Platform/Screens.h"

class QScreen;

namespace torvel {

/// The screens the Qt GUI application knows, for when Torvel has a display connection. Follows
/// screens being added and removed and any screen's geometry changing; `changed` is emitted on a later
/// turn of the main loop, once per burst, when Qt's list of screens is settled.
class QtScreens : public Screens {
public:
    /// Needs a QGuiApplication; without one every count is 0 and nothing is followed (logged once).
    explicit QtScreens(LogSink& log);
    ~QtScreens() override;

    /// QGuiApplication::screens(), counted.
    int screenCount() override;

private:
    /// Connects to the application's screen signals only while someone listens.
    void setFollowing(bool following);
    bool hasApplication();
    void follow(QScreen* screen);
    void noteChange();

    Logger log_;
    std::unique_ptr<QObject> listening_;  // owns the connections: dropping it disconnects them all
    bool pending_ = false;
    bool reportedMissing_ = false;
};

}  // namespace torvel

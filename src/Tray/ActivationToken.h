#pragma once

#include <string>

namespace torvel {

/// The XDG activation token a tray host hands over just before a click (ProvideXdgActivationToken).
/// Kept until the next window Torvel raises, which puts it in XDG_ACTIVATION_TOKEN for Qt's Wayland
/// plugin, so that the window gets focus. A token the bus sent is checked: only printable ASCII up to
/// 256 characters is kept; anything else is dropped and false returned.
bool setPendingActivationToken(const std::string& token);
/// Moves a pending token into XDG_ACTIVATION_TOKEN (for the window about to be activated) and
/// forgets it; does nothing when none is pending.
void applyPendingActivationToken();

}  // namespace torvel

#pragma once

#include <string>

namespace torvel {

/// `torvel --screenshot DIR [--lang en|cs]`, which the resident hands to the window process: draws
/// every window against the simulated machine, offscreen, with settings kept in a throw-away folder so
/// that the user's own stay untouched. 0, or 1 when a file could not be written (said on stderr).
int runScreenshotCommand(int argc, char** argv, const std::string& folder, const std::string& language);

}  // namespace torvel

#pragma once

#include "Models/Duration.h"

namespace torvel {

class Localization;

/// The lookup that writes durations in the user's language: unit texts ("%ld min") and titles with
/// their one argument. It reads `texts` at each call, so it follows a language change; `texts` must
/// outlive it.
Duration::TextLookup durationLookup(const Localization& texts);

}  // namespace torvel

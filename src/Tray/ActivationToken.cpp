#include "Tray/ActivationToken.h"

#include <cstdlib>
#include <optional>

namespace torvel {
namespace {

std::optional<std::string>& pending() {
    static std::optional<std::string> token;
    return token;
}

}  // namespace

bool setPendingActivationToken(const std::string& token) {
    constexpr std::size_t kMaxLength = 256;
    bool sound = !token.empty() && token.size() <= kMaxLength;
    for (const char c : token) sound = sound && c > ' ' && c < 0x7f;
    if (!sound) return false;
    pending() = token;
    return true;
}

void applyPendingActivationToken() {
    if (!pending()) return;
    ::setenv("XDG_ACTIVATION_TOKEN", pending()->c_str(), 1);
    pending().reset();
}

}  // namespace torvel

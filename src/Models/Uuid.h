#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvel {

/// A 128-bit identifier, written in canonical upper-case form ("4D2B0001-0000-0000-0000-000000000001").
class Uuid {
public:
    /// A new random identifier.
    static Uuid random();
    /// Parses the 36-character form in either case; std::nullopt for anything else.
    static std::optional<Uuid> parse(std::string_view text);

    /// Canonical upper-case text.
    std::string toString() const;

    friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace torvel

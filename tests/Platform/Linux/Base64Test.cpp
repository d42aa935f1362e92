#include "Platform/Linux/Helpers/Base64.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace torvel {
namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(Base64Test, MatchesTheStandardVectorsAndRoundTripsEveryByteAtEveryLength) {
    // RFC 4648, section 10.
    const std::pair<std::string_view, std::string_view> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(encodeBase64(bytesOf(plain)), encoded);
        EXPECT_EQ(decodeBase64(encoded), bytesOf(plain)) << encoded;
    }
    EXPECT_EQ(encodeBase64(std::vector<std::uint8_t>{0xfb, 0xff, 0xbf}), "+/+/");

    std::vector<std::uint8_t> all;
    for (int length = 0; length <= 258; ++length) {
        EXPECT_EQ(decodeBase64(encodeBase64(all)), all) << "length " << length;
        all.push_back(static_cast<std::uint8_t>(255 - length % 256));
    }
}

TEST(Base64Test, RejectsAnythingButCanonicalPaddedText) {
    for (std::string_view bad : std::initializer_list<std::string_view>{
             "Zg", "Zg=", "Zm9", "Z===", "====", "Zg==Zg==", "Zm=v", "Zm9v\n", " Zm9v", "Zm9-", "Zm9_",
             "Zh==", "Zm9=x", "Zm+=", std::string_view("Zm\0v", 4)}) {
        EXPECT_EQ(decodeBase64(bad), std::nullopt) << bad;
    }
}

}  // namespace
}  // namespace torvel

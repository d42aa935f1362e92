#include "Models/SSIDText.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace torvel {
namespace {

using namespace std::string_literals;

TEST(SSIDText, KeepsValidUTF8AndEscapesEverythingElse) {
    EXPECT_EQ(ssidFromBytes("Café ☕ "), "Café ☕ ");  // case, accents and a trailing space stay
    EXPECT_EQ(ssidFromBytes("a\\b"), "a\\\\b");
    EXPECT_EQ(ssidFromBytes("\xff\xfe"), "\\xff\\xfe");
    EXPECT_EQ(ssidFromBytes("caf\xe9"), "caf\\xe9");  // Latin-1, not UTF-8
    EXPECT_EQ(ssidFromBytes("line\nbreak\x7f"), "line\\x0abreak\\x7f");
    EXPECT_EQ(ssidFromBytes("\0x"s), "\\x00x");
    // Overlong, surrogate and cut-off sequences are not UTF-8.
    EXPECT_EQ(ssidFromBytes("\xc0\xaf"), "\\xc0\\xaf");
    EXPECT_EQ(ssidFromBytes("\xed\xa0\x80"), "\\xed\\xa0\\x80");
    EXPECT_EQ(ssidFromBytes("\xe2\x98"), "\\xe2\\x98");
}

TEST(SSIDText, DifferentBytesNeverShareATextAsALenientDecodingWouldMerge) {
    // Each pair is one text under replacement-character decoding, or under escaping without
    // escaping the backslash itself.
    const std::set<std::string> texts{
        ssidFromBytes("net\xff"),  ssidFromBytes("net\xfe"),   ssidFromBytes("net\xef\xbf\xbd"),
        ssidFromBytes("net\\xff"), ssidFromBytes("net\\\xff"), ssidFromBytes("Net"),
        ssidFromBytes("net"),      ssidFromBytes("net "),
    };
    EXPECT_EQ(texts.size(), 8u);
}

TEST(SSIDText, TypedAndShownNamesMeetInOneForm) {
    // A shown name reads back as the network's own bytes, so whatever it matched before it still matches.
    for (const std::string& bytes : {"a\\b"s, "caf\xe9"s, "\\x41"s, "end\\"s, "\0\x7f\xff"s})
        EXPECT_EQ(ssidToBytes(ssidFromBytes(bytes)), bytes) << ssidFromBytes(bytes);
    // A backslash typed as it is means itself, unless it starts an escape as shown.
    EXPECT_EQ(canonicalSSID("Lab\\2"), ssidFromBytes("Lab\\2"));
    EXPECT_EQ(canonicalSSID("Lab\\\\2"), ssidFromBytes("Lab\\2"));
    EXPECT_EQ(canonicalSSID("C:\\xyz\\"), ssidFromBytes("C:\\xyz\\"));
    EXPECT_EQ(canonicalSSID("caf\\xE9"), ssidFromBytes("caf\xe9"));
    EXPECT_EQ(canonicalSSID("Café ☕ "), "Café ☕ ");
}

}  // namespace
}  // namespace torvel

#include "Platform/Linux/Power/LogindAssertionTable.h"

#include <gtest/gtest.h>

#include "PrivateBuses.h"

namespace torvel {
namespace {

using LogindAssertionTableTest = PrivateBusTest;

TEST_F(LogindAssertionTableTest, SplitsKindsMapsModesAndRefusesBadAnswers) {
    ASSERT_TRUE(
        buses.logindInhibitors("[('sleep:idle', 'Backup', 'copying', 'block', 1000, 42),"
                               " ('shutdown:sleep', 'Updater', '', 'delay', 0, 7),"
                               " ('handle-lid-switch', '', 'lid', 'block', 1000, 9)]"));
    LogindAssertionTable table(system());
    const auto records = table.read();
    ASSERT_TRUE(records) << records.error();
    ASSERT_EQ(records->size(), 5u);
    EXPECT_EQ((*records)[0].kind, BlockerKind::systemSleep);
    EXPECT_EQ((*records)[1].kind, BlockerKind::idle);
    EXPECT_EQ((*records)[1].pid, 42);
    EXPECT_TRUE((*records)[1].blocking);
    EXPECT_EQ((*records)[1].name, "Backup: copying");
    EXPECT_EQ((*records)[3].kind, BlockerKind::systemSleep);
    EXPECT_FALSE((*records)[3].blocking);  // a delay lock does not block
    EXPECT_EQ((*records)[3].name, "Updater");
    EXPECT_EQ((*records)[4].kind, BlockerKind::other);

    // A logind that answers something else is not believed.
    ASSERT_TRUE(buses.logindMethod("ListInhibitors", "", "as", "ret = ['sleep']"));
    const auto refused = table.read();
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("unexpected reply"), std::string::npos);
}

}  // namespace
}  // namespace torvel

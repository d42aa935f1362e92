#include "Platform/Linux/Processes/ProcProcessInfo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>

#include "Platform/Linux/TestSupport.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

TEST(ProcProcessInfoTest, ReadsOwnerAndNamesAndRefusesWhatIsNotAProcessRecord) {
    // The real /proc for this very process.
    ProcProcessInfo real;
    const auto self = real.identity(::getpid());
    ASSERT_TRUE(self);
    EXPECT_EQ(self->uid, ::geteuid());
    EXPECT_EQ(self->comm, std::string(fs::path(program_invocation_name).filename()).substr(0, 15));
    EXPECT_TRUE(self->startTime);
    EXPECT_EQ(real.processName(::getpid()), fs::read_symlink("/proc/self/exe").filename());

    // A hand-made tree: effective uid is the second number; garbled or missing records read as nothing.
    const test::TemporaryFolder root("torvel-proc");
    const auto write = [&](const std::string& pid, const std::string& file, const std::string& text) {
        test::writeFile(root / pid / file, text);
    };
    write("10", "status", "Name:\tx\nUid:\t1000\t0\t0\t0\nGid:\t5\n");
    write("10", "comm", "com.example.Syn\n");
    // The command name may hold ") (": fields count from the last ')'. Field 22 is the start time.
    write("10", "stat", "10 (a) (b) c) S 1 10 10 0 -1 4194560 9 0 0 0 1 2 0 0 20 0 1 0 4242 999 77\n");
    write("13", "status", "Uid:\t1000\t1000\t1000\t1000\n");
    write("13", "comm", "short\n");
    write("13", "stat", "13 (short) S 1 13 13 0 -1 4194560 9 0 0 0 1 2 0 0 20 0 1 0\n");  // cut before it
    write("11", "status", "Name:\ty\nUid:\tgarbage\n");
    write("11", "comm", "y\n");
    write("12", "comm", "z\n");
    ProcProcessInfo fake(root.path());
    const auto ten = fake.identity(10);
    ASSERT_TRUE(ten);
    EXPECT_EQ(ten->uid, 0u);
    EXPECT_EQ(ten->comm, "com.example.Syn");
    EXPECT_EQ(ten->startTime, 4242u);
    ASSERT_TRUE(fake.identity(13));
    EXPECT_FALSE(fake.identity(13)->startTime);
    EXPECT_FALSE(fake.identity(11));
    EXPECT_FALSE(fake.identity(12));
    EXPECT_FALSE(fake.identity(-3));
    EXPECT_EQ(fake.processName(10), "");
}

}  // namespace
}  // namespace torvel

#include "App/PrivateBusAddress.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <vector>

namespace torvel {
namespace {

TEST(PrivateBusAddress, IsReadBackOnlyFromAFolderAndFileNobodyElseCouldWrite) {
    EXPECT_EQ(PrivateBusAddress::folderFor("/run/user/1000", 1000), "/run/user/1000/torvel");
    EXPECT_EQ(PrivateBusAddress::folderFor("relative", 1000), "/tmp/torvel-1000");
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const std::string folder = runtime.path().toStdString() + "/torvel";
    const std::string address = "unix:path=/tmp/dbus-abc,guid=0123";

    EXPECT_EQ(PrivateBusAddress::read(folder), std::nullopt);
    ASSERT_EQ(PrivateBusAddress::record(folder, address), std::nullopt);
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(PrivateBusAddress::read(folder), address);

    // Another instance's address is left alone; our own goes when we quit.
    PrivateBusAddress::remove(folder, "unix:path=/tmp/other");
    EXPECT_EQ(PrivateBusAddress::read(folder), address);
    PrivateBusAddress::remove(folder, address);
    EXPECT_EQ(PrivateBusAddress::read(folder), std::nullopt);

    // A file others may write is not trusted, nor is a folder others may enter.
    ASSERT_EQ(PrivateBusAddress::record(folder, address), std::nullopt);
    ASSERT_EQ(::chmod((folder + "/bus").c_str(), 0622), 0);
    EXPECT_EQ(PrivateBusAddress::read(folder), std::nullopt);
    ASSERT_EQ(PrivateBusAddress::record(folder, address), std::nullopt);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(PrivateBusAddress::read(folder), std::nullopt);
    EXPECT_NE(PrivateBusAddress::record(folder, address), std::nullopt) << "nor written into";
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);

    // A link in place of the file or the folder is refused, as is content that is not one address.
    const std::string elsewhere = runtime.path().toStdString() + "/elsewhere";
    std::ofstream(elsewhere) << address << "\n";
    ::chmod(elsewhere.c_str(), 0600);
    ::unlink((folder + "/bus").c_str());
    ASSERT_EQ(::symlink(elsewhere.c_str(), (folder + "/bus").c_str()), 0);
    EXPECT_EQ(PrivateBusAddress::read(folder), std::nullopt);
    const std::string linked = runtime.path().toStdString() + "/linked";
    ASSERT_EQ(::symlink(folder.c_str(), linked.c_str()), 0);
    EXPECT_EQ(PrivateBusAddress::read(linked), std::nullopt);
    std::string tooLong(2000, 'a');
    tooLong += ':';
    for (const std::string& bad : std::vector<std::string>{"", "unix:path=/a b", "no-colon", tooLong})
        EXPECT_NE(PrivateBusAddress::record(folder, bad), std::nullopt) << bad.substr(0, 20);
}

}  // namespace
}  // namespace torvel

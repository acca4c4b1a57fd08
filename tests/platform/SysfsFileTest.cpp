#include "platform/linux/SysfsFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using tarnix::platform::SysfsFile;

class SysfsFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tarnix-sysfs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Path(const std::string& name) const { return (root_ / name).string(); }

    fs::path root_;
};

TEST_F(SysfsFileTest, FolderEntriesNameEveryEntryOnceAndNothingForAMissingFolder)
{
    fs::create_directories(root_ / "class" / "hidraw");
    std::ofstream(Path("class/hidraw/hidraw0")) << "x";
    fs::create_directory(root_ / "class" / "hidraw" / "hidraw1");
    fs::create_symlink("hidraw0", root_ / "class" / "hidraw" / "hidraw2");

    std::vector<std::string> names = SysfsFile::FolderEntries(Path("class/hidraw"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"hidraw0", "hidraw1", "hidraw2"})) << "no . or ..";
    EXPECT_TRUE(SysfsFile::FolderEntries(Path("class/missing")).empty());
    EXPECT_TRUE(SysfsFile::FolderEntries(Path("class/hidraw/hidraw0")).empty()) << "a file is no folder";
}

TEST_F(SysfsFileTest, LinkDestinationResolvesRelativeTargetsByName)
{
    fs::create_directories(root_ / "sys" / "class" / "hidraw");
    const std::string link = Path("sys/class/hidraw/hidraw0");
    // As in sysfs: the destination is given relative to the link's folder and need not be looked at.
    fs::create_symlink("../../devices/./pci0000:00/usb1//1-1/../1-2/hidraw/hidraw0", link);
    EXPECT_EQ(SysfsFile::LinkDestination(link), Path("sys/devices/pci0000:00/usb1/1-2/hidraw/hidraw0"));

    const std::string absolute = Path("sys/class/hidraw/hidraw1");
    fs::create_symlink("/sys/devices/usb1/", absolute);
    EXPECT_EQ(SysfsFile::LinkDestination(absolute), "/sys/devices/usb1");

    const std::string aboveTheRoot = Path("sys/class/hidraw/hidraw2");
    fs::create_symlink("/../../..", aboveTheRoot);
    EXPECT_EQ(SysfsFile::LinkDestination(aboveTheRoot), "/") << "nothing climbs above the root";

    std::ofstream(Path("sys/class/hidraw/file")) << "x";
    EXPECT_EQ(SysfsFile::LinkDestination(Path("sys/class/hidraw/file")), std::nullopt) << "not a link";
    EXPECT_EQ(SysfsFile::LinkDestination(Path("sys/class/hidraw/missing")), std::nullopt);
}

}  // namespace

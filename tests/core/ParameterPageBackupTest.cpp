// The saved parameter page: its Intel hex image read back by the DFU file library, the file that is never
// written over and only its owner may read, the folder the environment names, and the line the user sees.

#include "PageBackupFiles.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"

#include "core/ParameterPageBackup.h"
#include "core/TpError.h"
#include "core/Utility.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using tarnix::test::ScopedEnvironmentVariable;
using tarnix::test::TemporaryFolder;

namespace {

constexpr std::uint32_t kPageAddress = 0x08004000;
constexpr std::size_t kPageSize = 2048;

// A page with erased runs at its start, in its middle (across record boundaries) and at its end, as a
// parameter buffer followed by unused room looks.
std::vector<char> PageWithErasedRuns()
{
    std::vector<char> page(kPageSize);
    for (std::size_t index = 0; index < page.size(); ++index) {
        page[index] = static_cast<char>(index * 7 + 3);
    }
    std::fill(page.begin(), page.begin() + 5, static_cast<char>(0xFF));
    std::fill(page.begin() + 100, page.begin() + 180, static_cast<char>(0xFF));
    std::fill(page.end() - 600, page.end(), static_cast<char>(0xFF));
    return page;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

unsigned ByteAt(const std::string& line, std::size_t index)
{
    return std::stoul(line.substr(1 + 2 * index, 2), nullptr, 16);
}

mode_t ModeOf(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0;
}

std::string Contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs the save until the date-time stamp was the same before and after it (a save that straddles the turn
// of a second gets another name pattern), and answers that stamp.
std::string StampAround(const std::function<void(const std::string&)>& save)
{
    for (;;) {
        const std::string stamp = Utility::GetDateTimeStamp();
        save(stamp);
        if (Utility::GetDateTimeStamp() == stamp) {
            return stamp;
        }
    }
}

std::string Notice(const std::string& path, const std::string& word)
{
    return "The parameter page of the sensor may be erased. Its contents from before the write are saved in " + path +
           "; write them back with: TarnixProgrammer_CLI -f " + word + " -o";
}

}  // namespace

// The records are well formed (checksums, one address record for the page's 64 KiB, 16-byte data records, the
// end record), and the file library reads exactly the page at its address back, erased runs included.
TEST(ParameterPageBackupTest, TheImageHoldsExactlyThePageAtItsAddress)
{
    const std::vector<char> page = PageWithErasedRuns();
    const std::string text = ParameterPageBackup::HexText(page, kPageAddress);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 1 + kPageSize / 16 + 1);
    for (const std::string& line : lines) {
        ASSERT_EQ(line[0], ':');
        unsigned sum = 0;
        for (std::size_t index = 0; index < (line.size() - 1) / 2; ++index) {
            sum += ByteAt(line, index);
        }
        EXPECT_EQ(sum % 256, 0u) << line;
    }
    EXPECT_EQ(lines.front(), ":020000040800F2");
    EXPECT_EQ(lines[1].substr(0, 9), ":10400000");
    EXPECT_EQ(lines.back(), ":00000001FF");

    TemporaryFolder folder;
    const std::string path = folder.Write("page.hex", text);
    EXPECT_EQ(page_backup::ImageOf(path), page_backup::PageImage(kPageAddress, page));
}

// Bytes that run over a 64 KiB boundary get a second address record; the library reads them back whole.
TEST(ParameterPageBackupTest, BytesAcrossA64KiBBoundaryReadBackWhole)
{
    const std::vector<char> bytes(40, 0x5A);
    const std::string text = ParameterPageBackup::HexText(bytes, 0x0800FFF8);
    EXPECT_NE(text.find(":020000040801F1"), std::string::npos) << text;
    TemporaryFolder folder;
    EXPECT_EQ(page_backup::ImageOf(folder.Write("across.hex", text)), page_backup::PageImage(0x0800FFF8, bytes));
}

// Missing folders are made for the owner only; the file is private whatever the umask, and a second save
// in the same second gets a name of its own instead of replacing the first. A name that is taken, also by a
// link, is left alone.
TEST(ParameterPageBackupTest, EachSaveIsANewPrivateFileThatReplacesNothing)
{
    TemporaryFolder root;
    const std::string folder = root.File("data/tarnix-programmer");
    const std::vector<char> page = PageWithErasedRuns();
    const std::vector<char> other(kPageSize, 0x11);

    const mode_t previousMask = ::umask(0);
    ParameterPageBackup::Outcome first;
    ParameterPageBackup::Outcome second;
    const std::string stamp = StampAround([&](const std::string&) {
        std::filesystem::remove_all(root.File("data"));
        first = ParameterPageBackup::SaveIn(folder, page, kPageAddress);
        second = ParameterPageBackup::SaveIn(folder, other, kPageAddress);
    });
    ::umask(previousMask);

    EXPECT_EQ(ModeOf(root.File("data")), 0700u);
    EXPECT_EQ(ModeOf(folder), 0700u);
    ASSERT_EQ(first.path, folder + "/parameters-" + stamp + ".hex") << first.failure;
    ASSERT_EQ(second.path, folder + "/parameters-" + stamp + "-2.hex") << second.failure;
    EXPECT_EQ(ModeOf(first.path), 0600u);
    EXPECT_EQ(ModeOf(second.path), 0600u);
    EXPECT_EQ(page_backup::ImageOf(first.path), page_backup::PageImage(kPageAddress, page));
    EXPECT_EQ(page_backup::ImageOf(second.path), page_backup::PageImage(kPageAddress, other));

    const std::string target = root.Write("someone-elses-file", "keep");
    const std::string linked = root.File("linked");
    ParameterPageBackup::Outcome third;
    const std::string later = StampAround([&](const std::string& now) {
        std::filesystem::remove_all(linked);
        std::filesystem::create_directory(linked);
        std::filesystem::create_symlink(target, linked + "/parameters-" + now + ".hex");
        third = ParameterPageBackup::SaveIn(linked, page, kPageAddress);
    });
    EXPECT_EQ(third.path, linked + "/parameters-" + later + "-2.hex") << third.failure;
    EXPECT_EQ(Contents(target), "keep");
}

TEST(ParameterPageBackupTest, TheFolderIsTheUsersDataFolderAndARelativeOneCountsAsUnset)
{
    std::string failure;
    {
        ScopedEnvironmentVariable data("XDG_DATA_HOME", "/srv/data");
        EXPECT_EQ(ParameterPageBackup::Folder(failure), "/srv/data/tarnix-programmer");
    }
    {
        // root's home in a minimal system, and a folder given with a trailing slash
        ScopedEnvironmentVariable rootHome("HOME", "/");
        EXPECT_EQ(ParameterPageBackup::Folder(failure), "/.local/share/tarnix-programmer");
        ScopedEnvironmentVariable data("XDG_DATA_HOME", "/srv/data/");
        EXPECT_EQ(ParameterPageBackup::Folder(failure), "/srv/data/tarnix-programmer");
    }
    ScopedEnvironmentVariable home("HOME", "/home/someone");
    for (const char* ignored : {"relative/data", ""}) {
        ScopedEnvironmentVariable data("XDG_DATA_HOME", ignored);
        EXPECT_EQ(ParameterPageBackup::Folder(failure), "/home/someone/.local/share/tarnix-programmer") << ignored;
    }
    ScopedEnvironmentVariable noData("XDG_DATA_HOME", "");
    ScopedEnvironmentVariable relativeHome("HOME", "someone");
    EXPECT_EQ(ParameterPageBackup::Folder(failure), std::nullopt);
    EXPECT_EQ(failure, "neither XDG_DATA_HOME nor HOME names an absolute folder");
}

// The line names the file and the command that writes it back, the file quoted for the shell where needed.
TEST(ParameterPageBackupTest, TheLineNamesTheFileAndTheCommandThatWritesItBack)
{
    EXPECT_EQ(ParameterPageBackup::Notice({"/home/u/.local/share/tarnix-programmer/parameters-1.hex", ""}),
              Notice("/home/u/.local/share/tarnix-programmer/parameters-1.hex",
                     "/home/u/.local/share/tarnix-programmer/parameters-1.hex"));
    EXPECT_EQ(ParameterPageBackup::Notice({"/home/Ann's files/p $1.hex", ""}),
              Notice("/home/Ann's files/p $1.hex", "'/home/Ann'\\''s files/p $1.hex'"));
    EXPECT_EQ(ParameterPageBackup::Notice({"", "the folder /x cannot be made (Permission denied)"}),
              "The parameter page of the sensor may be erased. Its contents from before the write could not be "
              "saved: the folder /x cannot be made (Permission denied).");
}

// A save that cannot be made says why, on the error it belongs to, and leaves no file behind.
TEST(ParameterPageBackupTest, ASaveThatCannotBeMadeSaysWhyOnTheError)
{
    TemporaryFolder root;
    root.Write("data", "a file where the folder should be");
    ScopedEnvironmentVariable data("XDG_DATA_HOME", root.File("data"));
    TpError::DownloadFailed error;
    ParameterPageBackup::Attach(error, PageWithErasedRuns(), kPageAddress);
    EXPECT_STREQ(error.what(), "Download failed.");
    EXPECT_EQ(error.AddedLine(),
              "The parameter page of the sensor may be erased. Its contents from before the write could not be "
              "saved: the folder " +
                  root.File("data/tarnix-programmer") + " cannot be made (Not a directory).");
    EXPECT_EQ(root.Names(), std::set<std::string>{"data"});
}

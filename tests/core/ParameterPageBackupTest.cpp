// The saved parameter page: its Intel hex image read back by the DFU file library, the file that is never
// written over and only its owner may read, the folder the environment names, and the line the user sees.

#include "PageBackupFiles.h"
#include "tests/support/SavedPageLine.h"
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

using tarnix::test::kPageMayBeChanged;
using tarnix::test::SavedPageLine;
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
              SavedPageLine("/home/u/.local/share/tarnix-programmer/parameters-1.hex",
                            "/home/u/.local/share/tarnix-programmer/parameters-1.hex"));
    EXPECT_EQ(ParameterPageBackup::Notice({"/home/Ann's files/p $1.hex", ""}),
              SavedPageLine("/home/Ann's files/p $1.hex", "'/home/Ann'\\''s files/p $1.hex'"));
    EXPECT_EQ(ParameterPageBackup::Notice({"", "the folder /x cannot be made (Permission denied)"}),
              kPageMayBeChanged +
                  " Its contents from before the write could not be saved: the folder /x cannot be made (Permission "
                  "denied).");
}

// The flash command refuses a path of 260 characters or more (its length as an existing file counts one
// more): a saved page whose path it would refuse is named relative to its folder, which the command enters.
TEST(ParameterPageBackupTest, TheLineNamesACommandTheFlashTakesForEveryPath)
{
    TemporaryFolder root;
    const std::string name = "parameters-09-12-2026_20-35-08.hex";
    const auto folderFor = [&](std::size_t pathLength) {
        std::string folder = root.File("");
        folder += std::string(pathLength - folder.size() - name.size() - 1, 'd');
        std::filesystem::create_directories(folder);
        return folder;
    };
    const std::string accepted = folderFor(258) + "/" + name;
    const std::string refused = folderFor(259) + "/" + name;
    root.Write(accepted.substr(root.File("").size()), "");
    root.Write(refused.substr(root.File("").size()), "");
    ASSERT_EQ(Utility::GetFullPathLength(accepted), Utility::maxPathLength);
    ASSERT_GT(Utility::GetFullPathLength(refused), Utility::maxPathLength);

    ParameterPageBackup::Outcome outcome;
    outcome.path = accepted;
    EXPECT_EQ(ParameterPageBackup::Notice(outcome), SavedPageLine(accepted));
    outcome.path = refused;
    EXPECT_EQ(ParameterPageBackup::Notice(outcome),
              kPageMayBeChanged + " Its contents from before the write are saved in " + refused +
                  "; write them back with: cd " + folderFor(259) + " && TarnixProgrammer_CLI -f " + name + " -o");
}

// A page that was blank before the write is not saved: a flash skips erased bytes, so no file could bring it
// back. The line says what makes the page sound again instead.
TEST(ParameterPageBackupTest, ABlankPageIsNotSavedAndTheLineNamesTheWriteThatReplacesTheArea)
{
    TemporaryFolder root;
    ScopedEnvironmentVariable data("XDG_DATA_HOME", root.File("data"));
    const std::vector<char> blank(kPageSize, static_cast<char>(0xFF));
    EXPECT_TRUE(ParameterPageBackup::Save(blank, kPageAddress).blank);

    TpError::DownloadFailed error;
    ParameterPageBackup::Attach(error, blank, kPageAddress);
    EXPECT_EQ(error.AddedLine(), kPageMayBeChanged +
                                     " It was blank before the write, so there is nothing to write back; a write "
                                     "with a schema file replaces the whole area: TarnixProgrammer_CLI -w FILE.json "
                                     "SCHEMA.fbs");
    EXPECT_EQ(root.Names(), std::set<std::string>{});

    std::vector<char> almost = blank;
    almost[kPageSize - 1] = 0x7F;
    const ParameterPageBackup::Outcome saved = ParameterPageBackup::Save(almost, kPageAddress);
    EXPECT_FALSE(saved.blank);
    EXPECT_EQ(page_backup::ImageOf(saved.path), page_backup::PageImage(kPageAddress, almost)) << saved.failure;
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
    EXPECT_EQ(error.AddedLine(), kPageMayBeChanged +
                                     " Its contents from before the write could not be saved: the folder " +
                                     root.File("data/tarnix-programmer") + " cannot be made (Not a directory).");
    EXPECT_EQ(root.Names(), std::set<std::string>{"data"});
}

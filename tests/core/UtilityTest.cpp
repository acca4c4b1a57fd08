#include "core/Utility.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool EndsWith(std::string text, std::string suffix, bool caseSensitive = true)
{
    return Utility::StringEndsWith(text, suffix, caseSensitive);
}

class UtilityFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(files.Path().empty()); }

    // A path of exactly `length` characters inside the test folder.
    std::string PathOfLength(std::size_t length)
    {
        std::string path = files.Path().string() + "/";
        path += std::string(length - path.size(), 'p');
        return path;
    }

    tarnix::test::TemporaryFolder files;
};

TEST(UtilityStrings, SuffixTestIsCaseSensitiveAndNeedsAShorterSuffix)
{
    EXPECT_TRUE(EndsWith("firmware.hex", ".hex"));
    EXPECT_FALSE(EndsWith("firmware.HEX", ".hex"));
    EXPECT_FALSE(EndsWith(".hex", ".hex"));
    EXPECT_FALSE(EndsWith("hex", ".hex"));
    EXPECT_FALSE(EndsWith("firmware.dfu", ".hex"));
    EXPECT_TRUE(EndsWith("a.HEX", ".hex", false));
    EXPECT_FALSE(EndsWith("abc", "x", false));
    EXPECT_TRUE(EndsWith("params.json", ".json"));
    EXPECT_FALSE(EndsWith("params.JSON", ".json"));
}

TEST(UtilityStrings, FindInStringIsACaseSensitiveSubstringSearch)
{
    std::string text = "Firmware will overwrite parameters";
    EXPECT_TRUE(Utility::FindInString(text, "overwrite"));
    EXPECT_FALSE(Utility::FindInString(text, "Overwrite"));
    EXPECT_TRUE(Utility::FindInString(text, ""));
}

TEST(UtilityStrings, Utf8AndUtf16RoundTrip)
{
    const std::string text = "Sensor \xC3\xA5\xC3\xA4\xC3\xB6 \xE2\x82\xAC \xF0\x9F\x98\x80";  // åäö, € and an emoji
    const std::wstring wide = Utility::StringToWString(text);
    ASSERT_EQ(wide.size(), 15u);  // the emoji takes a surrogate pair
    EXPECT_EQ(wide[7], static_cast<wchar_t>(0x00E5));
    EXPECT_EQ(wide[13], static_cast<wchar_t>(0xD83D));
    EXPECT_EQ(wide[14], static_cast<wchar_t>(0xDE00));
    EXPECT_EQ(Utility::WStringToString(wide), text);
    EXPECT_EQ(Utility::StringToWString(""), L"");
    EXPECT_EQ(Utility::WStringToString(L""), "");
}

TEST(UtilityStrings, MalformedTextBecomesReplacementCharacters)
{
    // A truncated sequence, a stray continuation byte and an overlong '/'.
    const std::wstring wide = Utility::StringToWString(std::string("a\xE2\x82") + "b\x80" + "c\xC0\xAF");
    EXPECT_EQ(Utility::WStringToString(wide),
              "a\xEF\xBF\xBD\xEF\xBF\xBD"
              "b\xEF\xBF\xBD"
              "c\xEF\xBF\xBD\xEF\xBF\xBD");
    // A lone surrogate in wide text.
    EXPECT_EQ(Utility::WStringToString(std::wstring{L'x', static_cast<wchar_t>(0xD800)}), "x\xEF\xBF\xBD");
}

TEST(UtilityStrings, AnsiConversionKeepsPathsUsable)
{
    EXPECT_EQ(Utility::UTF8ToANSI("C:/firmware/v2.hex"), "C:/firmware/v2.hex");
    // In the C locale file names stay as their UTF-8 bytes, so the file can still be opened.
    EXPECT_EQ(Utility::UTF8ToANSI("/tmp/f\xC3\xB6rsta.dfu"), "/tmp/f\xC3\xB6rsta.dfu");
    EXPECT_EQ(Utility::UTF8ToANSI(std::string("abc\0def", 7)), "abc");
}

TEST(UtilityPaths, ExecutablePathIsTheProgramFolderWithoutSeparator)
{
    const std::string folder = Utility::GetExecutablePath();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::exists(fs::path(folder) / "tests_core"));
}

TEST_F(UtilityFiles, FullPathLengthCountsTheNulOnlyForExistingPaths)
{
    const std::string missing = PathOfLength(260);
    EXPECT_EQ(Utility::GetFullPathLength(missing), 260u);

    const std::string existing259 = PathOfLength(259);
    std::ofstream(existing259).put('x');
    EXPECT_EQ(Utility::GetFullPathLength(existing259), 260u);

    const std::string existing258 = PathOfLength(258);
    std::ofstream(existing258).put('x');
    EXPECT_EQ(Utility::GetFullPathLength(existing258), 259u);
    EXPECT_LE(Utility::GetFullPathLength(existing258), Utility::maxPathLength);
}

TEST_F(UtilityFiles, FileSizeAndValidity)
{
    const std::string path = files.File("data.bin");
    EXPECT_EQ(Utility::GetFileSize(path), -1);
    EXPECT_FALSE(Utility::IsPathValid(path));

    std::ofstream(path) << "12345";
    EXPECT_EQ(Utility::GetFileSize(path), 5);
    EXPECT_TRUE(Utility::IsPathValid(path));
    EXPECT_TRUE(Utility::IsPathValid(files.Path().string()));
    EXPECT_FALSE(Utility::IsPathValid(""));
}

TEST_F(UtilityFiles, WriteTextFileReplacesAndReportsFailure)
{
    const std::string path = files.File("out.json");
    std::ofstream(path) << "a much longer previous content";
    const std::string text = "{\n}\n";
    ASSERT_TRUE(Utility::WriteTextFile(text.c_str(), static_cast<int>(text.size()), path.c_str()));
    EXPECT_EQ(files.Read("out.json"), text);

    const std::string inMissingFolder = files.File("no/such/file.json");
    EXPECT_FALSE(Utility::WriteTextFile(text.c_str(), static_cast<int>(text.size()), inMissingFolder.c_str()));
    EXPECT_FALSE(fs::exists(inMissingFolder));
}

fs::perms ModeOf(const std::string& path) { return fs::status(path).permissions(); }

bool WriteText(const std::string& text, const std::string& path)
{
    return Utility::WriteTextFile(text.c_str(), static_cast<int>(text.size()), path.c_str());
}

// Restores the process's file-creation mask when the test ends.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t previous;
};

TEST_F(UtilityFiles, WriteTextFileKeepsPermissionsAndOwnership)
{
    for (const fs::perms mode : {fs::perms(0600), fs::perms(0640), fs::perms(0604), fs::perms(0660)}) {
        const std::string path = files.File("kept.json");
        std::ofstream(path) << "earlier";
        fs::permissions(path, mode);
        ASSERT_TRUE(WriteText("{}\n", path));
        EXPECT_EQ(files.Read("kept.json"), "{}\n");
        EXPECT_EQ(ModeOf(path), mode) << std::oct << static_cast<int>(mode);
    }
    if (::geteuid() != 0) {
        return;  // the rest is what root may do with another user's file
    }
    const std::string theirs = files.File("theirs.json");
    std::ofstream(theirs) << "earlier";
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    fs::permissions(theirs, fs::perms(0444));
    ASSERT_TRUE(WriteText("{}\n", theirs));
    EXPECT_EQ(files.Read("theirs.json"), "{}\n");
    struct stat status {};
    ASSERT_EQ(::stat(theirs.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
    EXPECT_EQ(status.st_mode & 07777, 0444u);
}

// Saves the text as the unprivileged account 65534 without supplementary groups, in a child process; true
// when the save succeeded. Only root can switch users.
bool WriteTextAsOtherUser(const std::string& text, const std::string& path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const bool switched = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(switched && WriteText(text, path) ? 0 : 1);
    }
    int status = 0;
    while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A user who may write a file but cannot give a new file its group (not a member of it) writes it in place:
// a replacement would hand the group's permissions to the user's own group and take them from the file's.
TEST_F(UtilityFiles, WriteTextFileWritesInPlaceWhenTheGroupCannotBeKept)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can save as another user";
    }
    fs::permissions(files.Path(), fs::perms::all);
    const std::string shared = files.File("shared.json");
    std::ofstream(shared) << "earlier";
    fs::permissions(shared, fs::perms(0666));

    ASSERT_TRUE(WriteTextAsOtherUser("{}\n", shared));
    EXPECT_EQ(files.Read("shared.json"), "{}\n");
    struct stat status {};
    ASSERT_EQ(::stat(shared.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 0u) << "the file was replaced by one of the other user";
    EXPECT_EQ(status.st_gid, 0u);
    EXPECT_EQ(status.st_mode & 07777, 0666u);
    EXPECT_EQ(files.Names(), (std::set<std::string>{"shared.json"})) << "a temporary file was left behind";
}

TEST_F(UtilityFiles, WriteTextFileGivesANewFileTheModeOfTheUmask)
{
    for (const auto& [mask, mode] : {std::pair<mode_t, fs::perms>{027, fs::perms(0640)}, {0, fs::perms(0666)}}) {
        const ScopedUmask scoped(mask);
        const std::string path = files.File("new" + std::to_string(mask) + ".json");
        ASSERT_TRUE(WriteText("{}\n", path));
        EXPECT_EQ(ModeOf(path), mode) << std::oct << mask;
    }
}

TEST_F(UtilityFiles, WriteTextFileWritesThroughSymbolicLinks)
{
    fs::create_directory(files.File("links"));
    std::ofstream(files.File("real.json")) << "earlier";
    fs::permissions(files.File("real.json"), fs::perms(0600));
    fs::create_symlink("../real.json", files.File("links/relative.json"));
    fs::create_symlink(files.File("links/relative.json"), files.File("chain.json"));
    ASSERT_TRUE(WriteText("through the chain", files.File("chain.json")));
    EXPECT_TRUE(fs::is_symlink(files.File("chain.json")));
    EXPECT_TRUE(fs::is_symlink(files.File("links/relative.json")));
    EXPECT_EQ(files.Read("real.json"), "through the chain");
    EXPECT_EQ(ModeOf(files.File("real.json")), fs::perms(0600));

    // A dangling link creates the file it names, beside the link when the link is relative.
    fs::create_symlink("created.json", files.File("links/dangling.json"));
    ASSERT_TRUE(WriteText("created", files.File("links/dangling.json")));
    EXPECT_TRUE(fs::is_symlink(files.File("links/dangling.json")));
    EXPECT_EQ(files.Read("links/created.json"), "created");

    fs::create_symlink("loop-b", files.File("loop-a"));
    fs::create_symlink("loop-a", files.File("loop-b"));
    EXPECT_FALSE(WriteText("never", files.File("loop-a")));
    EXPECT_EQ(files.Names(), (std::set<std::string>{"links", "real.json", "chain.json", "loop-a", "loop-b"}));
    std::set<std::string> linkFolder;
    for (const auto& entry : fs::directory_iterator(files.File("links"))) {
        linkFolder.insert(entry.path().filename().string());
    }
    EXPECT_EQ(linkFolder, (std::set<std::string>{"relative.json", "dangling.json", "created.json"}));
}

TEST(UtilityTimer, MeasuresMillisecondsFromOneStart)
{
    Utility::Timer timer;
    timer.Start();
    EXPECT_LT(timer.Current(), 50.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const double first = timer.Current();
    EXPECT_GE(first, 30.0);
    EXPECT_NEAR(timer.elapsedSeconds * 1000, first, 1e-6);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(timer.Current(), first + 10.0);
    EXPECT_EQ(timer.last - timer.start, static_cast<std::int64_t>(timer.elapsedSeconds * 1e9 + 0.5));
}

// The stopwatch reads the monotonic clock: the waits it measures (the sensor's return, the DFU device, the
// flash) keep their length when the wall clock is set meanwhile.
TEST(UtilityTimer, ReadsTheMonotonicClockNotTheWallClock)
{
    Utility::Timer timer;
    const auto before = std::chrono::steady_clock::now().time_since_epoch();
    timer.Start();
    const auto after = std::chrono::steady_clock::now().time_since_epoch();
    EXPECT_GE(timer.start, std::chrono::duration_cast<std::chrono::nanoseconds>(before).count());
    EXPECT_LE(timer.start, std::chrono::duration_cast<std::chrono::nanoseconds>(after).count());
}

}  // namespace

#include "core/Utility.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

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
              "a\xEF\xBF\xBD\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD");
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

}  // namespace

#include "core/Utility.h"

#include "platform/FileSaver.h"
#include "platform/SystemServices.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

using tarnix::platform::FileSaver;
using tarnix::platform::SystemServices;
using tarnix::platform::TextEncoding;

namespace Utility {

std::string WStringToString(const std::wstring& text)
{
    const std::u16string units(text.begin(), text.end());
    return TextEncoding::Utf16ToUtf8(units);
}

std::wstring StringToWString(const std::string& text)
{
    const std::u16string units = TextEncoding::Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

std::string UTF8ToANSI(std::string text)
{
    std::string converted = TextEncoding::Utf8ToNarrowCodePage(text);
    // The result ends at the first NUL, like a C string.
    converted.resize(std::min(converted.size(), converted.find('\0')));
    return converted;
}

std::string GetExecutablePath() { return SystemServices::ExecutableFolder(); }

unsigned int GetFullPathLength(const std::string& path)
{
    const unsigned int longLength = SystemServices::LongPathLength(path);
    return longLength != 0 ? longLength : static_cast<unsigned int>(path.length());
}

int GetFileSize(std::string path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return -1;
    }
    return static_cast<int>(std::min<off_t>(status.st_size, INT32_MAX));
}

bool IsPathValid(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::status(path, error).type();
    return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
}

bool WriteTextFile(const char* text, int length, const char* path)
{
    if (text == nullptr || path == nullptr || length < 0) {
        return false;
    }
    return FileSaver::Save(path, text, static_cast<std::size_t>(length));
}

bool StringEndsWith(std::string& text, std::string& suffix, bool caseSensitive)
{
    if (suffix.size() >= text.size()) {
        return false;
    }
    if (caseSensitive) {
        return text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    const auto lower = [](std::string value) {
        std::transform(value.begin(), value.end(), value.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return value;
    };
    const std::string lowerText = lower(text);
    return lowerText.compare(lowerText.size() - suffix.size(), suffix.size(), lower(suffix)) == 0;
}

bool FindInString(std::string& text, const char* part)
{
    return part != nullptr && text.find(part) != std::string::npos;
}

std::string GetDateTimeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32] = {};
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%d-%m-%Y_%H-%M-%S", &local);
    return std::string(stamp, length);
}

bool Is64BitWindows() { return SystemServices::IsWow64Process(); }

void InstallDfuDrivers(bool silent)
{
    const std::string installer = Is64BitWindows() ? "dpinst_amd64.exe" : "dpinst_x86.exe";
    const std::string path = GetExecutablePath() + "\\Drivers\\STtube_DFU_Drivers\\" + installer;
    // The installer's outcome is not examined: it reports to the user itself. The silent form has no window:
    // it runs on the caller's console, where it asks for root rights and tells a failure, and the caller
    // waits for it. The other form runs on its own and shows a failure in a window.
    if (silent) {
        SystemServices::RunProgram(path, " /F /SW /SA");
    } else {
        SystemServices::StartProgram(path, " /F");
    }
}

// Scanning ranges, in 1/256 of a range unit: one peak count spans 38128 / 256 = 148.9375 range units.
namespace {
constexpr std::uint32_t rangePerPeakCount = 38128;
constexpr std::uint32_t rangeRounding = 128;
constexpr std::uint32_t sourceSpacing = 18432;
constexpr int firstPeakCount = 3;
constexpr int lastPeakCount = 26;
}  // namespace

int GetRangeFromPeakCount(int peakCount)
{
    const std::uint32_t steps = static_cast<std::uint32_t>(peakCount) - 2U;
    return static_cast<int>((steps * rangePerPeakCount + rangeRounding) >> 8);
}

int GetPeakCountFromRange(int range)
{
    const double steps = (static_cast<double>(range) * 256 - rangeRounding) / rangePerPeakCount;
    return static_cast<int>(std::round(steps) + 2);
}

int GetPeakCountLimit(int sourceCount)
{
    const std::uint32_t spread = (static_cast<std::uint32_t>(sourceCount) - 1U) * sourceSpacing;
    const double x = static_cast<double>(spread) / rangePerPeakCount;
    const int ceiling = static_cast<int>(std::ceil(x));
    if (sourceCount % 2 != 0) {
        return ceiling;
    }
    return static_cast<int>(std::nearbyint(x)) == ceiling ? ceiling + 1 : ceiling;
}

std::map<int, int> GetPossiblePeakCountAndRelativeHeights(unsigned int sourceCount)
{
    std::map<int, int> ranges;
    const auto limit = static_cast<unsigned int>(GetPeakCountLimit(static_cast<int>(sourceCount)));
    if (limit <= 2) {
        return ranges;
    }
    for (int peakCount = firstPeakCount; peakCount <= lastPeakCount && static_cast<unsigned int>(peakCount) <= limit;
         ++peakCount) {
        ranges.emplace(GetRangeFromPeakCount(peakCount), peakCount);
    }
    return ranges;
}

}  // namespace Utility

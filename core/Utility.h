#pragma once

#include "core/Timer.h"

#include <map>
#include <string>

// Free functions shared by the core and both front ends: text encodings, paths and files, the driver
// installer, and the scanning-range arithmetic.
namespace Utility {

// The longest path the programs accept, in characters (without the terminating NUL).
constexpr unsigned int maxPathLength = 259;

// Text encodings. Every narrow string holds UTF-8; wide strings hold UTF-16 code units.
std::string WStringToString(const std::wstring& text);
std::wstring StringToWString(const std::string& text);
std::string UTF8ToANSI(std::string text);

// Paths and files.
std::string GetExecutablePath();
unsigned int GetFullPathLength(const std::string& path);
int GetFileSize(std::string path);
bool IsPathValid(const std::string& path);
// Replaces the file's content with `length` bytes of text, keeping its permissions and following a symbolic
// link to its target; false, with the file untouched, when it may not be written or the save failed.
bool WriteTextFile(const char* text, int length, const char* path);

// Strings.
bool StringEndsWith(std::string& text, std::string& suffix, bool caseSensitive);
bool FindInString(std::string& text, const char* part);
// The local date and time as "%d-%m-%Y_%H-%M-%S" (day-month-year_hour-minute-second), for file names.
std::string GetDateTimeStamp();

// Driver installer and platform.
bool Is64BitWindows();
// Starts the driver installer beside the program. Silent: on this program's console, returning when the
// installer has ended; otherwise detached, returning at once. Its outcome is not reported here.
void InstallDfuDrivers(bool silent);

// Scanning ranges: a sensor scans peakCount rows; users choose a scanning range instead.
int GetRangeFromPeakCount(int peakCount);
int GetPeakCountFromRange(int range);
int GetPeakCountLimit(int sourceCount);
std::map<int, int> GetPossiblePeakCountAndRelativeHeights(unsigned int sourceCount);

}  // namespace Utility

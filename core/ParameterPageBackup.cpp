#include "core/ParameterPageBackup.h"

#include "core/Utility.h"
#include "io/FileDescriptor.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t bytesPerRecord = 16;
constexpr int maximumNames = 100;
constexpr mode_t folderMode = S_IRWXU;
constexpr mode_t fileMode = S_IRUSR | S_IWUSR;
const char* const mayBeChanged = "The parameter page of the sensor may be erased or damaged.";
const char* const programName = "TarnixProgrammer_CLI";

std::string Reason(const std::string& what, int error) { return what + " (" + std::strerror(error) + ")"; }

// An absolute folder from the variable, or nothing when it is unset, empty or relative.
std::optional<std::string> AbsoluteFolderFrom(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return std::nullopt;
    }
    // Without its trailing slashes, so that the paths shown read "/.local/..." for a home of "/".
    std::string folder(value);
    folder.erase(folder.find_last_not_of('/') + 1);
    return folder;
}

// One record: count, 16-bit address, type, data, and the checksum that makes all its bytes sum to 0.
std::string Record(std::uint8_t type, std::uint16_t offset, const std::uint8_t* data, std::size_t count)
{
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(offset >> 8),
                                       static_cast<std::uint8_t>(offset & 0xFF), type};
    bytes.insert(bytes.end(), data, data + count);
    unsigned sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum += byte;
    }
    bytes.push_back(static_cast<std::uint8_t>(-sum & 0xFFu));
    std::string text = ":";
    for (const std::uint8_t byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text + "\n";
}

// The path as one word of a POSIX shell: as it is when it holds only characters no shell treats specially,
// otherwise in single quotes (a quote inside written as '\'').
std::string ShellWord(const std::string& text)
{
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || (c != '\0' && std::strchr("_-./,:@%+=", c) != nullptr);
    });
    if (plain) {
        return text;
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Makes a folder's entries (a new file, a new folder) last through a power cut. A file system that cannot
// sync a folder (EINVAL) keeps its entries by other means.
bool SyncFolder(const std::string& folder, std::string& failure)
{
    const tarnix::io::FileDescriptor descriptor =
        tarnix::io::FileDescriptor::Open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor.IsValid() && (::fsync(descriptor.Get()) == 0 || errno == EINVAL)) {
        return true;
    }
    failure = Reason("the folder " + folder + " cannot be synced", errno);
    return false;
}

// Makes every missing folder of the path, each with mode 0700, and syncs the folder that holds each new one;
// an existing one is left as it is.
bool MakeFolders(const std::string& folder, std::string& failure)
{
    std::filesystem::path current;
    for (const std::filesystem::path& part : std::filesystem::path(folder)) {
        const std::filesystem::path parent = current.empty() ? part : current;
        current /= part;
        if (::mkdir(current.c_str(), folderMode) == 0) {
            if (!SyncFolder(parent.string(), failure)) {
                return false;
            }
        } else if (errno != EEXIST) {
            failure = Reason("the folder " + current.string() + " cannot be made", errno);
            return false;
        }
    }
    return true;
}

// Creates the file, failing when it exists (also as a symbolic link); close-on-exec, mode 0600.
tarnix::io::FileDescriptor CreateNew(const std::string& path)
{
    return tarnix::io::FileDescriptor::Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, fileMode);
}

// The text in the new file, whole and on disk under its name, or no file at all. The mode is set again
// because the umask may have taken bits of it.
bool Fill(const tarnix::io::FileDescriptor& file, const std::string& folder, const std::string& path,
          const std::string& text, std::string& failure)
{
    if (::fchmod(file.Get(), fileMode) != 0 || !file.WriteAll(text.data(), text.size()) || ::fsync(file.Get()) != 0) {
        failure = Reason(path + " cannot be written", errno);
    } else if (SyncFolder(folder, failure)) {
        return true;
    }
    ::unlink(path.c_str());
    return false;
}

bool IsBlank(const std::vector<char>& page)
{
    return std::all_of(page.begin(), page.end(), [](char byte) { return static_cast<unsigned char>(byte) == 0xFF; });
}

// The command that writes the saved file back. A path the flash command would refuse as too long is named
// relative to its folder, which the command enters first.
std::string WriteBackCommand(const std::string& path)
{
    const std::string flash = std::string(programName) + " -f ";
    if (Utility::GetFullPathLength(path) <= Utility::maxPathLength) {
        return flash + ShellWord(path) + " -o";
    }
    const std::filesystem::path file(path);
    return "cd " + ShellWord(file.parent_path().string()) + " && " + flash + ShellWord(file.filename().string()) +
           " -o";
}

std::string FileName(const std::string& stamp, int attempt)
{
    return "parameters-" + stamp + (attempt > 1 ? "-" + std::to_string(attempt) : std::string()) + ".hex";
}

}  // namespace

void ParameterPageBackup::Attach(TpError::Exception& error, const std::vector<char>& page, std::uint32_t address)
{
    error.SetAddedLine(Notice(Save(page, address)));
}

ParameterPageBackup::Outcome ParameterPageBackup::Save(const std::vector<char>& page, std::uint32_t address)
{
    Outcome outcome;
    if (IsBlank(page)) {
        outcome.blank = true;
        return outcome;
    }
    const std::optional<std::string> folder = Folder(outcome.failure);
    return folder ? SaveIn(*folder, page, address) : outcome;
}

ParameterPageBackup::Outcome ParameterPageBackup::SaveIn(const std::string& folder, const std::vector<char>& page,
                                                         std::uint32_t address)
{
    Outcome outcome;
    if (!MakeFolders(folder, outcome.failure)) {
        return outcome;
    }
    const std::string text = HexText(page, address);
    const std::string stamp = Utility::GetDateTimeStamp();
    for (int attempt = 1; attempt <= maximumNames; ++attempt) {
        const std::string path = folder + "/" + FileName(stamp, attempt);
        const tarnix::io::FileDescriptor file = CreateNew(path);
        if (!file.IsValid() && errno == EEXIST) {
            continue;
        }
        if (!file.IsValid()) {
            outcome.failure = Reason("no file can be made in " + folder, errno);
            return outcome;
        }
        if (Fill(file, folder, path, text, outcome.failure)) {
            outcome.path = path;
        }
        return outcome;
    }
    outcome.failure = "every file name tried in " + folder + " is taken";
    return outcome;
}

std::optional<std::string> ParameterPageBackup::Folder(std::string& failure)
{
    if (const std::optional<std::string> data = AbsoluteFolderFrom("XDG_DATA_HOME")) {
        return *data + "/tarnix-programmer";
    }
    if (const std::optional<std::string> home = AbsoluteFolderFrom("HOME")) {
        return *home + "/.local/share/tarnix-programmer";
    }
    failure = "neither XDG_DATA_HOME nor HOME names an absolute folder";
    return std::nullopt;
}

std::string ParameterPageBackup::HexText(const std::vector<char>& bytes, std::uint32_t address)
{
    std::string text;
    std::optional<std::uint16_t> upper;
    for (std::size_t offset = 0; offset < bytes.size();) {
        const std::uint64_t at = std::uint64_t{address} + offset;
        const auto high = static_cast<std::uint16_t>(at >> 16);
        if (upper != high) {
            const std::uint8_t linear[] = {static_cast<std::uint8_t>(high >> 8), static_cast<std::uint8_t>(high)};
            text += Record(0x04, 0, linear, sizeof linear);
            upper = high;
        }
        // A record never crosses a 64 KiB boundary: its address has 16 bits.
        const std::size_t room = 0x10000 - (at & 0xFFFF);
        const std::size_t count = std::min({bytesPerRecord, bytes.size() - offset, room});
        text += Record(0x00, static_cast<std::uint16_t>(at & 0xFFFF),
                       reinterpret_cast<const std::uint8_t*>(bytes.data()) + offset, count);
        offset += count;
    }
    const std::uint8_t noData[1] = {};
    return text + Record(0x01, 0, noData, 0);
}

std::string ParameterPageBackup::Notice(const Outcome& outcome)
{
    const std::string first = std::string(mayBeChanged) + " ";
    if (outcome.blank) {
        return first +
               "It was blank before the write, so there is nothing to write back; a write with a schema file "
               "replaces the whole area: " +
               programName + " -w FILE.json SCHEMA.fbs";
    }
    if (outcome.path.empty()) {
        return first + "Its contents from before the write could not be saved: " + outcome.failure + ".";
    }
    return first + "Its contents from before the write are saved in " + outcome.path +
           "; write them back with: " + WriteBackCommand(outcome.path);
}

#include "sim/bus/SensorStore.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "sim/bus/DamageWarnings.h"
#include "sim/bus/SensorCache.h"
#include "sim/bus/FileAccess.h"
#include "sim/bus/SensorStateFile.h"

namespace tarnix::sim {

namespace {

constexpr std::string_view kStateSuffix = ".sensor";
constexpr std::string_view kFlashSuffix = ".flash";

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::string SensorStore::DefaultFolder()
{
    const char* configured = std::getenv("TARNIX_SIM_DIR");
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string base = runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
    return base + "/tarnix-sim-" + std::to_string(::getuid());
}

SensorStore::SensorStore() : SensorStore(DefaultFolder()) {}

SensorStore::SensorStore(std::string folder) : folder_(std::move(folder)) {}

bool SensorStore::EnsureFolder() const { return FileAccess::EnsureDirectory(folder_); }

bool SensorStore::Exists(const std::string& serial) const
{
    struct stat info {};
    return ::stat(StatePath(serial).c_str(), &info) == 0;
}

std::optional<SensorState> SensorStore::Load(const std::string& serial) const
{
    const std::string path = StatePath(serial);
    const auto stamp = SensorCache::StampOf(path);
    if (!stamp) {
        return std::nullopt;
    }
    if (auto cached = SensorCache::Instance().Find(path, *stamp)) {
        return cached;
    }
    errno = 0;
    const auto text = FileAccess::ReadText(path);
    if (!text) {
        if (errno != ENOENT) {
            DamageWarnings::Report(path, "cannot be read");
        }
        return std::nullopt;
    }
    std::string error;
    auto state = SensorStateFile::Parse(*text, error);
    if (state && state->serial != serial) {
        error = "serial does not match the file name";
        state.reset();
    }
    if (!state) {
        DamageWarnings::Report(path, error);
        return std::nullopt;
    }
    // The stamp taken before the read may belong to an older version than the text; cache only when the
    // file did not change meanwhile.
    const auto after = SensorCache::StampOf(path);
    if (after && *after == *stamp) {
        SensorCache::Instance().Store(path, *stamp, *state);
    }
    return state;
}

std::vector<SensorState> SensorStore::LoadAll() const
{
    std::vector<SensorState> states;
    for (const std::string& serial : Serials()) {
        if (auto state = Load(serial)) {
            states.push_back(std::move(*state));
        }
    }
    // Sensors from files without a plug sequence fall back to their plug time, then their serial.
    std::sort(states.begin(), states.end(), [](const SensorState& a, const SensorState& b) {
        return std::tie(a.plugSequence, a.pluggedAtMs, a.serial) < std::tie(b.plugSequence, b.pluggedAtMs, b.serial);
    });
    return states;
}

bool SensorStore::Save(const SensorState& state) const
{
    // Every version gets a later modification time than the one it replaces, whatever the resolution of
    // the file system's clock, so that SensorCache can tell them apart.
    const std::string path = StatePath(state.serial);
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const std::int64_t previous = FileAccess::ModifiedNs(path).value_or(0);
    const std::string text = SensorStateFile::Format(state);
    return FileAccess::ReplaceAtomically(path, text.data(), text.size(), std::max(now, previous + 1));
}

std::optional<FlashMemory> SensorStore::LoadFlash(const std::string& serial) const
{
    const std::string path = FlashPath(serial);
    auto bytes = FileAccess::ReadBytes(path);
    if (!bytes || bytes->size() != kFlashSize) {
        DamageWarnings::Report(path, bytes ? "flash image has the wrong size" : "flash image cannot be read");
        return std::nullopt;
    }
    return FlashMemory(std::move(*bytes));
}

bool SensorStore::SaveFlash(const std::string& serial, const FlashMemory& flash) const
{
    return flash.IsValid() && FileAccess::ReplaceAtomically(FlashPath(serial), flash.Bytes());
}

bool SensorStore::Remove(const std::string& serial) const
{
    const bool state = FileAccess::Remove(StatePath(serial));
    const bool flash = FileAccess::Remove(FlashPath(serial));
    return state && flash;
}

std::string SensorStore::StatePath(const std::string& serial) const
{
    return folder_ + "/" + serial + std::string(kStateSuffix);
}

std::string SensorStore::FlashPath(const std::string& serial) const
{
    return folder_ + "/" + serial + std::string(kFlashSuffix);
}

std::vector<std::string> SensorStore::Serials() const
{
    std::vector<std::string> serials;
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(folder_.c_str()), ::closedir);
    if (!folder) {
        return serials;
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string_view name = entry->d_name;
        if (name.empty() || name[0] == '.' || !EndsWith(name, kStateSuffix)) {
            continue;
        }
        const std::string serial(name.substr(0, name.size() - kStateSuffix.size()));
        if (SensorState::IsValidSerial(serial)) {
            serials.push_back(serial);
        } else {
            DamageWarnings::Report(folder_ + "/" + std::string(name), "not a valid serial number");
        }
    }
    return serials;
}

}  // namespace tarnix::sim

#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace tarnix::test {

// A fresh folder under the system's temporary folder for one test, removed with everything in it when the
// object goes. Path() is empty when the folder could not be made.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // The path of an entry of the folder (which need not exist).
    std::string File(const std::string& name) const { return (path_ / name).string(); }

    // Writes the bytes to the named file, replacing what it held; answers the file's path.
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::ofstream(File(name), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return File(name);
    }

    std::string Write(const std::string& name, const std::string& text) const
    {
        return Write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
    }

    // The named file's content; empty when it cannot be read.
    std::string Read(const std::string& name) const
    {
        std::ifstream file(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::vector<std::uint8_t> ReadBytes(const std::string& name) const
    {
        const std::string text = Read(name);
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }

    // The names of the folder's entries.
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

private:
    std::filesystem::path path_;
};

}  // namespace tarnix::test

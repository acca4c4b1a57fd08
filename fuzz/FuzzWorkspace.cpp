#include "fuzz/FuzzWorkspace.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <vector>

namespace {

// Swallows everything written to it.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int character) override { return traits_type::not_eof(character); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

std::string MakeTemporaryFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tarnix-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return name.data();
}

}  // namespace

FuzzWorkspace& FuzzWorkspace::Get()
{
    static FuzzWorkspace workspace;
    return workspace;
}

FuzzWorkspace::FuzzWorkspace() : folder_(MakeTemporaryFolder()) {}

FuzzWorkspace::~FuzzWorkspace()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void FuzzWorkspace::WriteFile(const std::string& name, const std::uint8_t* data, std::size_t size) const
{
    std::ofstream file(PathOf(name), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    file.close();
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", PathOf(name).c_str());
        std::abort();
    }
}

void FuzzWorkspace::WriteFile(const std::string& name, const std::string& text) const
{
    WriteFile(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void FuzzWorkspace::SilenceStandardStreams()
{
    static NullBuffer nothing;
    std::cout.rdbuf(&nothing);
    std::cerr.rdbuf(&nothing);
}

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A private temporary folder for one fuzzing process: the parsers under test read files by path, so each
// input is written into this folder first. The folder and everything in it is removed when the process ends.
class FuzzWorkspace {
public:
    static FuzzWorkspace& Get();

    FuzzWorkspace(const FuzzWorkspace&) = delete;
    FuzzWorkspace& operator=(const FuzzWorkspace&) = delete;

    const std::string& Folder() const { return folder_; }
    std::string PathOf(const std::string& name) const { return folder_ + "/" + name; }
    // Replaces the file's contents with the bytes; aborts when the file cannot be written, because every
    // later result would then be meaningless.
    void WriteFile(const std::string& name, const std::uint8_t* data, std::size_t size) const;
    void WriteFile(const std::string& name, const std::string& text) const;

    // The parsers print usage texts and errors; at tens of thousands of runs a second that output only
    // slows the fuzzer down.
    static void SilenceStandardStreams();

private:
    FuzzWorkspace();
    ~FuzzWorkspace();

    std::string folder_;
};

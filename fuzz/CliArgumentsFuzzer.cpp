// Feeds arbitrary command lines to Cli::ProcessArgument with the device layer on an empty simulated bus. An
// input is a list of words separated by line feeds. The working folder holds a firmware file in both formats,
// a JSON parameter file and a schema file, so that the file checks of the options pass as often as they fail
// and the commands are reached.
//
// Beyond "no crash, no hang": the result is 0 or -1, any failure leaves the tool as a TpError (what main
// prints), and with no sensor present no command creates, changes or removes a file.
#include "cli/Cli.h"
#include "core/TpError.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzWorkspace.h"
#include "sim/images/DfuFileWriter.h"
#include "sim/images/FirmwareImage.h"
#include "sim/images/IntelHexWriter.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaximumWords = 16;

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFirmwareFiles(const FuzzWorkspace& workspace)
{
    const tarnix::sim::FirmwareImage image(tarnix::sim::Version{2, 5}, tarnix::sim::Version{1, 1},
                                           tarnix::sim::FirmwareImage::kDefaultSize, std::nullopt);
    workspace.WriteFile("files/fw.hex", tarnix::sim::IntelHexWriter::Write(image.Runs(), std::nullopt));
    const std::vector<std::uint8_t> dfu =
        tarnix::sim::DfuFileWriter::Write(image.Runs(), {0x0483, 0xDF11, 0x0200, "Tarnix"});
    workspace.WriteFile("files/fw.dfu", dfu.data(), dfu.size());
}

// Every file of the folder with its contents.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files[entry.path().filename().string()] = entry.is_regular_file() ? ReadWholeFile(entry.path().string()) : "";
    }
    return files;
}

std::map<std::string, std::string>& FolderAtStart()
{
    static std::map<std::string, std::string> files;
    return files;
}

std::vector<std::string> SplitWords(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

int RunCommandLine(std::vector<std::string> words)
{
    std::string program = "TarnixProgrammer_CLI";
    std::vector<char*> argv{program.data()};
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    try {
        Cli cli;
        return cli.ProcessArgument(static_cast<int>(argv.size() - 1), argv.data());
    } catch (const TpError::Exception&) {
        return -1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const FuzzWorkspace& workspace = FuzzWorkspace::Get();
    const std::string bus = workspace.PathOf("bus");
    std::filesystem::create_directory(bus);
    setenv("TARNIX_SIM_DIR", bus.c_str(), 1);
    setenv("TARNIX_MUTEX_PREFIX", (workspace.Folder() + ":").c_str(), 1);

    const std::string files = workspace.PathOf("files");
    std::filesystem::create_directory(files);
    if (chdir(files.c_str()) != 0) {
        fuzzcheck::Fail("cannot enter the work folder");
    }
    WriteFirmwareFiles(workspace);
    workspace.WriteFile("files/p.json", "{\n  \"fingerFrequency\": 120\n}\n");
    std::filesystem::copy_file(TARNIX_SCHEMA_FILE, files + "/schema.fbs");
    FolderAtStart() = Snapshot(files);
    FuzzWorkspace::SilenceStandardStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> words = SplitWords(data, size);
    if (words.size() > kMaximumWords) {
        return -1;
    }
    const int result = RunCommandLine(std::move(words));
    if (result != 0 && result != -1) {
        fuzzcheck::Fail("a result other than 0 and -1");
    }
    if (Snapshot(".") != FolderAtStart()) {
        fuzzcheck::Fail("a command changed the files although no sensor is present");
    }
    return 0;
}

#include "tests/cli/ProgramRun.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int ExitCodeOf(int status)
{
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// In the child after fork: only async-signal-safe calls until exec.
[[noreturn]] void StartChild(const std::string& workFolder, const std::string& outPath, const std::string& errPath,
                             std::vector<char*>& argv)
{
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0 ||
        ::chdir(workFolder.c_str()) != 0) {
        ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// The command line that runs `program`: on the real-bus backend the command-line tool runs inside usb-run.
std::vector<std::string> CommandLine(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words;
    const std::filesystem::path path(program);
    if (OnRealUsbBackend() && path.filename() == "TarnixProgrammer_CLI") {
        words = {(path.parent_path() / "tarnix-sim").string(), "usb-run", "--"};
    }
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

std::string WithUsbDeviceNamesReplaced(const std::string& text)
{
    static const std::regex usbDeviceName("/dev/bus/usb/[0-9]{3}/[0-9]{3}");
    return OnRealUsbBackend() ? std::regex_replace(text, usbDeviceName, kUsbDeviceName) : text;
}

}  // namespace

const char* const kUsbDeviceName = "<usb device>";

bool OnRealUsbBackend()
{
    const char* bus = std::getenv("TARNIX_TEST_BUS");
    return bus != nullptr && std::string(bus) == "usb";
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workFolder)
{
    const std::string outPath = workFolder + "/.program-stdout";
    const std::string errPath = workFolder + "/.program-stderr";
    std::vector<std::string> words = CommandLine(program, arguments);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        StartChild(workFolder, outPath, errPath, argv);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ProgramRun run;
    run.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.exitCode = ExitCodeOf(status);
    run.out = WithUsbDeviceNamesReplaced(ReadWholeFile(outPath));
    run.err = WithUsbDeviceNamesReplaced(ReadWholeFile(errPath));
    ::unlink(outPath.c_str());
    ::unlink(errPath.c_str());
    return run;
}

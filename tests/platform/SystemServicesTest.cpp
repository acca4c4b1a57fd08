#include "platform/SharedLibrary.h"
#include "platform/SystemServices.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using tarnix::platform::SharedLibrary;
using tarnix::platform::SystemServices;
using tarnix::test::TemporaryFolder;

namespace {

std::string ReadWhenPresent(const fs::path& file, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(file) && fs::file_size(file) > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::ifstream in(file);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

TEST(SharedLibrary, BareDllNamesMeanSharedObjectsBesideTheProgram)
{
    const std::string folder = SystemServices::ExecutableFolder();
    EXPECT_EQ(SharedLibrary::ResolvePath("STDFU.dll"), folder + "/STDFU.so");
    EXPECT_EQ(SharedLibrary::ResolvePath("STDFUFiles.DLL"), folder + "/STDFUFiles.so");
    EXPECT_EQ(SharedLibrary::ResolvePath("/opt/x/libfoo.so"), "/opt/x/libfoo.so");
    EXPECT_EQ(SharedLibrary::Load("NoSuchLibrary.dll"), nullptr);
}

TEST(SharedLibrary, FindsExportsAndReportsMissingOnes)
{
    auto library = SharedLibrary::Load("libc.so.6");
    if (library == nullptr) {
        library = SharedLibrary::Load("/lib/x86_64-linux-gnu/libc.so.6");
    }
    ASSERT_NE(library, nullptr);
    EXPECT_NE(library->FindExport("strlen"), nullptr);
    EXPECT_EQ(library->FindExport("NoSuchExport"), nullptr);
}

TEST(SystemServices, PathsOfThisFileSystem)
{
    EXPECT_EQ(SystemServices::NativePath("C:\\a\\b/c"), "C:/a/b/c");
    EXPECT_EQ(SystemServices::LongPathLength("/no/such/path"), 0u);
    EXPECT_EQ(SystemServices::LongPathLength("/tmp"), 5u);
    EXPECT_FALSE(SystemServices::IsWow64Process());
    EXPECT_EQ(SystemServices::SplitArguments(" /F /SW  /SA"), (std::vector<std::string>{"/F", "/SW", "/SA"}));
}

// The program waits until the test releases it (giving up after 10 s), so it cannot have ended when
// StartProgram returns unless StartProgram waited for it, however slow the machine is.
TEST(SystemServices, StartsAProgramWithItsArgumentsWithoutWaiting)
{
    TemporaryFolder folder;
    const fs::path script = folder.Path() / "installer.exe";
    const fs::path release = folder.Path() / "release";
    const fs::path output = folder.Path() / "arguments.txt";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\ni=0\n"
            << "while [ ! -e '" << release.string() << "' ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
            << "echo \"$@\" > '" << output.string() << "'\n";
    }
    fs::permissions(script, fs::perms::owner_all);

    ASSERT_TRUE(SystemServices::StartProgram(script.string(), " /F /SW /SA"));
    EXPECT_FALSE(fs::exists(output)) << "StartProgram waited for the program to end";
    std::ofstream(release).close();
    EXPECT_EQ(ReadWhenPresent(output, std::chrono::seconds(5)), "/F /SW /SA\n");

    EXPECT_FALSE(SystemServices::StartProgram((folder.Path() / "missing.exe").string(), " /F"));
}

// Starts a shell script on its own that writes what `command` prints to a file ($$ is the script's shell);
// that output, empty when the program could not be started or did not run.
std::string OutputOfAStartedScript(const std::string& command)
{
    TemporaryFolder folder;
    const fs::path script = folder.Path() / "installer.exe";
    const std::string output = (folder.Path() / "output.txt").string();
    {
        std::ofstream out(script);
        // Caught first, so that no redirection of the script's own streams is in place while it runs.
        out << "#!/bin/sh\noutput=$(" << command << ")\nprintf '%s\\n' \"$output\" > '" << output << ".part'\n"
            << "mv '" << output << ".part' '" << output << "'\n";
    }
    fs::permissions(script, fs::perms::owner_all);
    if (!SystemServices::StartProgram(script.string(), "")) {
        return {};
    }
    return ReadWhenPresent(output, std::chrono::seconds(10));
}

// A program started on its own has no controlling terminal: it runs in a session of its own.
TEST(SystemServices, AStartedProgramRunsInASessionOfItsOwn)
{
    const std::string session = OutputOfAStartedScript("cut -d' ' -f6 /proc/$$/stat");
    ASSERT_FALSE(session.empty()) << "the program did not run";
    EXPECT_NE(std::stol(session), static_cast<long>(::getsid(0)));
}

// The file descriptors of a listing of /proc/PID/fd ("... 3 -> /dev/null") that lead to /dev/null.
std::set<int> DescriptorsOfDevNull(const std::string& listing)
{
    std::set<int> descriptors;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t arrow = line.find(" -> /dev/null");
        const std::size_t start = arrow == std::string::npos ? arrow : line.rfind(' ', arrow - 1);
        if (start != std::string::npos) {
            descriptors.insert(std::stoi(line.substr(start + 1, arrow - start - 1)));
        }
    }
    return descriptors;
}

// The descriptors of this process that lead to /dev/null and that a program it starts inherits (those
// without close-on-exec), besides the standard streams: what the test's own runner passed on.
std::set<int> InheritedDescriptorsOfDevNull()
{
    std::set<int> descriptors;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
        const int descriptor = std::stoi(entry.path().filename().string());
        const int flags = ::fcntl(descriptor, F_GETFD);
        if (descriptor > STDERR_FILENO && flags >= 0 && (flags & FD_CLOEXEC) == 0 &&
            fs::read_symlink(entry.path(), error) == "/dev/null") {
            descriptors.insert(descriptor);
        }
    }
    return descriptors;
}

// A program started on its own gets /dev/null as its standard streams and no further descriptor of it: the
// one its streams were made from is closed on exec.
TEST(SystemServices, AStartedProgramHasDevNullAsItsStandardStreamsOnly)
{
    std::set<int> expected = InheritedDescriptorsOfDevNull();
    expected.insert({STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO});
    const std::string listing = OutputOfAStartedScript("ls -l /proc/$$/fd");
    ASSERT_FALSE(listing.empty()) << "the program did not run";
    EXPECT_EQ(DescriptorsOfDevNull(listing), expected) << listing;
}

// Started from a process without standard input, the descriptor of /dev/null becomes that stream itself and
// must stay open across the exec.
TEST(SystemServices, AStartedProgramHasAllThreeStreamsWhenThisProgramHasNoStandardInput)
{
    std::set<int> expected = InheritedDescriptorsOfDevNull();
    expected.insert({STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO});
    const int savedInput = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    ASSERT_GE(savedInput, 0);
    ::close(STDIN_FILENO);
    const std::string listing = OutputOfAStartedScript("ls -l /proc/$$/fd");
    ASSERT_EQ(::dup2(savedInput, STDIN_FILENO), STDIN_FILENO);
    ::close(savedInput);
    ASSERT_FALSE(listing.empty()) << "the program did not run";
    EXPECT_EQ(DescriptorsOfDevNull(listing), expected) << listing;
}

// A program run on this program's console shares its standard output and terminal session and has ended when
// RunProgram returns.
TEST(SystemServices, RunsAProgramOnThisConsoleAndWaitsForIt)
{
    TemporaryFolder folder;
    const fs::path script = folder.Path() / "installer.exe";
    const fs::path output = folder.Path() / "arguments.txt";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\nsleep 0.2\necho \"$@\" > '" << output.string() << "'\ncut -d' ' -f6 /proc/$$/stat\n";
    }
    fs::permissions(script, fs::perms::owner_all);

    testing::internal::CaptureStdout();
    std::fflush(stdout);
    const bool started = SystemServices::RunProgram(script.string(), " /F /SW /SA");
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(started);
    std::ifstream in(output);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "/F /SW /SA\n");
    // What it wrote on the console: its session, which is this program's, so a password prompt on the
    // terminal reaches the user who started this program.
    EXPECT_EQ(console, std::to_string(::getsid(0)) + "\n");

    EXPECT_FALSE(SystemServices::RunProgram((folder.Path() / "missing.exe").string(), " /F"));
}

}  // namespace

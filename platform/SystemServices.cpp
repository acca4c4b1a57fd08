#include "platform/SystemServices.h"

#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnix::platform {

std::string SystemServices::ExecutablePath()
{
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) {
        return {};
    }
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

std::string SystemServices::ExecutableFolder()
{
    const std::string path = ExecutablePath();
    const std::size_t separator = path.find_last_of('/');
    if (separator == std::string::npos) {
        return path;
    }
    return path.substr(0, separator);
}

unsigned int SystemServices::LongPathLength(const std::string& path)
{
    struct stat status {};
    if (path.empty() || ::stat(path.c_str(), &status) != 0) {
        return 0;
    }
    return static_cast<unsigned int>(path.size() + 1);
}

bool SystemServices::IsWow64Process() { return false; }

std::string SystemServices::NativePath(const std::string& path)
{
    std::string result = path;
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    return result;
}

std::vector<std::string> SystemServices::SplitArguments(const std::string& arguments)
{
    std::vector<std::string> words;
    std::istringstream stream(arguments);
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
    return words;
}

namespace {

// Runs a program with the words of a blank-separated argument list and waits for the child that it forks.
// Detached, that child forks once more and ends at once, so that the program is adopted by init and never
// becomes a zombie of ours; the program then runs on its own, as an elevated program would: in a session of
// its own, without a controlling terminal, its standard streams /dev/null. Otherwise the child is the
// program, on this program's console. False when the program could not be started.
bool Launch(const std::string& path, const std::string& arguments, bool detached)
{
    const std::string program = SystemServices::NativePath(path);
    if (::access(program.c_str(), X_OK) != 0) {
        return false;
    }
    // Everything the child needs is prepared before fork: after it only async-signal-safe calls are made.
    std::vector<std::string> words = SystemServices::SplitArguments(arguments);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        if (!detached) {
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        if (::fork() == 0) {
            ::setsid();
            // Opened close-on-exec, so that only the standard streams made from it reach the program; where it
            // is itself one of them (that stream was closed), that one keeps it.
            const int nowhere = ::open("/dev/null", O_RDWR | O_CLOEXEC);
            if (nowhere >= 0) {
                ::dup2(nowhere, STDIN_FILENO);
                ::dup2(nowhere, STDOUT_FILENO);
                ::dup2(nowhere, STDERR_FILENO);
                if (nowhere <= STDERR_FILENO) {
                    ::fcntl(nowhere, F_SETFD, 0);
                }
            }
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

}  // namespace

bool SystemServices::StartProgram(const std::string& path, const std::string& arguments)
{
    return Launch(path, arguments, true);
}

bool SystemServices::RunProgram(const std::string& path, const std::string& arguments)
{
    return Launch(path, arguments, false);
}

}  // namespace tarnix::platform

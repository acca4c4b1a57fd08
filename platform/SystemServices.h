#pragma once

#include <string>
#include <vector>

namespace tarnix::platform {

// Process and file-system services: the program's folder, path lengths, starting another program.
class SystemServices {
public:
    // Full path of the running program, from /proc/self/exe.
    static std::string ExecutablePath();
    // Folder of the running program, without a trailing separator.
    static std::string ExecutableFolder();

    // Length of the long form of an existing path plus one for the terminating NUL (the path is already in
    // its long form here); 0 when the path does not exist.
    static unsigned int LongPathLength(const std::string& path);

    // Whether this is a 32-bit process on a 64-bit system. Our programs are native: never.
    static bool IsWow64Process();

    // A path written with backslashes as separators, in this file system's form.
    static std::string NativePath(const std::string& path);

    // Starts a program with the given arguments (a blank-separated list) and returns at once, without waiting
    // for it; the started program does not stay behind as a child of this process and does not share this
    // program's console: its standard streams are /dev/null and it runs in a session of its own, without a
    // controlling terminal, so nothing it asks can land in the terminal this program was started from. False
    // when the program could not be started.
    static bool StartProgram(const std::string& path, const std::string& arguments);

    // Runs a program with the given arguments on this program's console (its standard streams and terminal)
    // and waits until it has ended; its exit code is not examined. False when the program could not be
    // started.
    static bool RunProgram(const std::string& path, const std::string& arguments);

    // Splits a blank-separated argument list into its words.
    static std::vector<std::string> SplitArguments(const std::string& arguments);
};

}  // namespace tarnix::platform

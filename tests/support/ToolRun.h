#pragma once

#include "tests/support/TemporaryFolder.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace tarnix::test {

// The result of running a program of the build's output folder: its exit code (-1 when it did not exit
// normally) and both output streams.
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;

    bool Succeeded() const { return exitCode == 0; }
};

// The text quoted for the shell, so that any character reaches the program unchanged.
inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char character : text) {
        quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
    }
    return quoted + "'";
}

// The folder of the running test binary; the programs under test are built into the same folder.
inline std::filesystem::path TestBinaryFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

// Runs a command (program and arguments) in the current environment and without input. Its output passes
// through files of the scratch folder.
inline ToolRun RunCommand(const std::vector<std::string>& words, const TemporaryFolder& scratch)
{
    std::string command;
    for (const std::string& word : words) {
        command += (command.empty() ? "" : " ") + ShellQuoted(word);
    }
    command +=
        " >" + ShellQuoted(scratch.File("tool.out")) + " 2>" + ShellQuoted(scratch.File("tool.err")) + " </dev/null";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = scratch.Read("tool.out");
    run.err = scratch.Read("tool.err");
    return run;
}

// Runs the program that is built beside the test binary with the arguments.
inline ToolRun RunBeside(const std::string& program, const std::vector<std::string>& arguments,
                         const TemporaryFolder& scratch)
{
    std::vector<std::string> words = {(TestBinaryFolder() / program).string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return RunCommand(words, scratch);
}

// A program's output split into lines, each line into its blank-separated words.
inline std::vector<std::vector<std::string>> LinesOfWords(const std::string& output)
{
    std::vector<std::vector<std::string>> lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) {
            words.push_back(word);
        }
        lines.push_back(words);
    }
    return lines;
}

}  // namespace tarnix::test

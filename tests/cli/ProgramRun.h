#pragma once

#include <string>
#include <vector>

// What one run of a program left behind: everything it wrote to each stream and its exit code as the shell
// sees it (0 to 255; a program killed by a signal gives 128 + the signal).
struct ProgramRun {
    std::string out;
    std::string err;
    int exitCode = -1;
    double milliseconds = 0;
};

// Runs `program` with `arguments` in the folder `workFolder` and waits for it. The child inherits this
// process's environment. Its output goes through files in `workFolder`, so no pipe can fill up.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workFolder);

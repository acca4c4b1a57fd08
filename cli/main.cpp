#include "cli/Cli.h"
#include "core/SingleInstanceGuard.h"
#include "core/TpError.h"

#include <exception>
#include <iostream>
#include <string>

namespace {

const char* const anotherInstanceMessage =
    "Another instance of Morvel Deskvane, Tarnix Programmer or Reflashor is already running, please close them "
    "before using TarnixProgrammer CLI.";

void PrintFailure(const char* message) { std::cerr << "Error: " << message << std::endl; }

// Runs the command line on one Cli. The Cli is gone, and with it every thread of its model, before a failure
// is printed.
int RunCommandLine(int argc, char** argv, std::string& closingLine)
{
    try {
        Cli cli;
        const int result = cli.ProcessArgument(argc, argv);
        if (result == 0) {
            closingLine = "Operation succeeded";
        }
        return result;
    } catch (TpError::Exception& error) {
        PrintFailure(error.what());
        if (!error.AddedLine().empty()) {
            std::cerr << error.AddedLine() << std::endl;
        }
    } catch (const std::exception& error) {
        // Not one of the tool's own failures (the standard library failed, for example): still a clear
        // failure line and exit code instead of an abort.
        PrintFailure(error.what());
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    SingleInstanceGuard guard(SingleInstanceGuard::kProgramMutexName);
    std::string closingLine;
    int exitCode = 0;
    if (!guard.IsFirstInstance()) {
        closingLine = anotherInstanceMessage;
    } else {
        exitCode = RunCommandLine(argc, argv, closingLine);
    }
    std::cout << closingLine << std::endl;
    return exitCode;
}

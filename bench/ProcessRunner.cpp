// Times a program from outside, the way a user waits for it: from its start to its exit, start-up included.
// Each run gets a fresh folder holding its own simulated bus (TARNIX_SIM_DIR), and its own single-instance
// mutex (TARNIX_MUTEX_PREFIX, the folder's path); an optional shell command prepares the run there (plugs
// sensors, copies files) before the clock starts. The program runs with that folder as its working directory
// and its output in output.txt there.
//
// Usage: tarnix_bench_process [--runs N] [--warmup N] [--prepare 'SHELL COMMAND'] [--stop-after-ms MS]
//                             -- PROGRAM [ARGS]
// The warm-up runs (1 by default) come first and are not counted: they fill the file system caches.
// With --stop-after-ms the program is ended (SIGTERM) after that time instead of awaited: for programs that
// run until closed, whose memory is wanted rather than their time.
// Prints "wall_ms <median> <min> <max>" and "peak_rss_kib <median> <min> <max>".
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    int runs = 5;
    int warmup = 1;
    std::string prepare;
    std::optional<int> stopAfterMs;
    std::vector<std::string> command;
};

struct Sample {
    double wallMs = 0;
    long peakRssKib = 0;
};

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    int i = 1;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string word = argv[i];
        if (i + 1 >= argc) {
            return std::nullopt;
        }
        if (word == "--runs") {
            options.runs = std::atoi(argv[++i]);
        } else if (word == "--warmup") {
            options.warmup = std::atoi(argv[++i]);
        } else if (word == "--prepare") {
            options.prepare = argv[++i];
        } else if (word == "--stop-after-ms") {
            options.stopAfterMs = std::atoi(argv[++i]);
        } else {
            return std::nullopt;
        }
    }
    for (++i; i < argc; ++i) {
        options.command.emplace_back(argv[i]);
    }
    const bool badStop = options.stopAfterMs && *options.stopAfterMs < 1;
    if (options.runs < 1 || options.warmup < 0 || options.command.empty() || badStop) {
        return std::nullopt;
    }
    return options;
}

std::filesystem::path NewRunFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-bench-run-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a run folder under " + pattern);
    }
    const std::filesystem::path folder = pattern;
    std::filesystem::create_directory(folder / "sim");
    return folder;
}

// In the child: enter the run folder with its environment and replace the process by the command.
[[noreturn]] void ExecIn(const std::filesystem::path& folder, const std::vector<std::string>& command,
                         const std::string& outputFile)
{
    ::setenv("TARNIX_SIM_DIR", (folder / "sim").c_str(), 1);
    ::setenv("TARNIX_MUTEX_PREFIX", (folder.string() + ":").c_str(), 1);
    if (::chdir(folder.c_str()) != 0 || std::freopen("/dev/null", "r", stdin) == nullptr ||
        std::freopen((folder / outputFile).c_str(), "a", stdout) == nullptr || ::dup2(1, 2) < 0) {
        ::_exit(126);
    }
    std::vector<char*> arguments;
    for (const std::string& word : command) {
        arguments.push_back(const_cast<char*>(word.c_str()));
    }
    arguments.push_back(nullptr);
    ::execvp(arguments[0], arguments.data());
    ::_exit(127);
}

// Runs the command to its end (or stops it after stopAfterMs); the exit status and the child's accounting.
int RunChild(const std::filesystem::path& folder, const std::vector<std::string>& command,
             const std::string& outputFile, std::optional<int> stopAfterMs, Sample& sample)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        ExecIn(folder, command, outputFile);
    }
    if (stopAfterMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(*stopAfterMs));
        ::kill(child, SIGTERM);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    sample.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    sample.peakRssKib = usage.ru_maxrss;
    return status;
}

std::string Output(const std::filesystem::path& folder)
{
    std::ifstream file(folder / "output.txt");
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// One run in a fresh folder; throws with the program's output when preparing or running it failed.
Sample RunOnce(const Options& options)
{
    const std::filesystem::path folder = NewRunFolder();
    Sample sample;
    Sample ignored;
    const bool prepared = options.prepare.empty() || RunChild(folder, {"/bin/sh", "-c", options.prepare}, "prepare.txt",
                                                              std::nullopt, ignored) == 0;
    const int status = prepared ? RunChild(folder, options.command, "output.txt", options.stopAfterMs, sample) : -1;
    const bool stoppedAsAsked = options.stopAfterMs && WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
    const bool exitedWell = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::string failure;
    if (!prepared) {
        std::ifstream file(folder / "prepare.txt");
        failure = "preparing the run failed:\n" +
                  std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } else if (!exitedWell && !stoppedAsAsked) {
        failure = "the program failed (status " + std::to_string(status) + "):\n" + Output(folder);
    }
    std::error_code removeError;
    std::filesystem::remove_all(folder, removeError);
    if (!failure.empty()) {
        throw std::runtime_error(failure);
    }
    return sample;
}

template <typename Value>
void PrintSpread(const char* name, std::vector<Value> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1
                              ? static_cast<double>(values[n / 2])
                              : (static_cast<double>(values[n / 2 - 1]) + static_cast<double>(values[n / 2])) / 2;
    std::printf("%s %.2f %.2f %.2f\n", name, median, static_cast<double>(values.front()),
                static_cast<double>(values.back()));
}

}  // namespace

int main(int argc, char** argv)
{
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(
            stderr,
            "usage: %s [--runs N] [--warmup N] [--prepare 'SHELL COMMAND'] [--stop-after-ms MS] -- PROGRAM [ARGS]\n",
            argv[0]);
        return 2;
    }
    std::vector<double> wall;
    std::vector<long> peak;
    try {
        for (int run = 0; run < options->warmup; ++run) {
            RunOnce(*options);
        }
        for (int run = 0; run < options->runs; ++run) {
            const Sample sample = RunOnce(*options);
            wall.push_back(sample.wallMs);
            peak.push_back(sample.peakRssKib);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    PrintSpread("wall_ms", wall);
    PrintSpread("peak_rss_kib", peak);
    return 0;
}

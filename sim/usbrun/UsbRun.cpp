#include "sim/usbrun/UsbRun.h"

#include <filesystem>
#include <map>
#include <unistd.h>

#include "sim/bus/SensorStore.h"
#include "sim/bus/SimError.h"
#include "sim/usbrun/BusMirror.h"
#include "sim/usbrun/ChildProcess.h"
#include "sim/usbrun/DescriptorLimit.h"
#include "sim/testbed/DeviceTestbed.h"
#include "sim/usbrun/UdevDoubles.h"

extern char** environ;

namespace tarnix::sim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage = "usage: tarnix-sim usb-run [--] COMMAND [ARGS...]";

// This process's environment with the given variables set.
std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& settings)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (settings.count(variable.substr(0, variable.find('='))) == 0) {
            environment.push_back(variable);
        }
    }
    for (const auto& [name, value] : settings) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

// umockdev's preload ahead of any the caller had.
std::string Preload()
{
    std::string preload = UsbRun::kPreloadLibrary;
    const char* earlier = std::getenv("LD_PRELOAD");
    if (earlier != nullptr && *earlier != '\0') {
        preload += std::string(" ") + earlier;
    }
    return preload;
}

// Ends the mirror's thread when the scope ends, however it ends (an exception too), so that the thread is
// gone before what it reports to.
class FollowingScope {
public:
    explicit FollowingScope(BusMirror& mirror) : mirror_(mirror) {}
    ~FollowingScope() { mirror_.Stop(); }
    FollowingScope(const FollowingScope&) = delete;
    FollowingScope& operator=(const FollowingScope&) = delete;

private:
    BusMirror& mirror_;
};

}  // namespace

UsbRun::UsbRun(std::ostream& err) : err_(err) {}

int UsbRun::Run(std::vector<std::string> arguments)
{
    if (!arguments.empty() && arguments.front() == "--") {
        arguments.erase(arguments.begin());
    } else if (!arguments.empty() && arguments.front().rfind("-", 0) == 0) {
        err_ << "tarnix-sim usb-run: unknown option '" << arguments.front() << "'; " << kUsage << '\n';
        return kOwnFailure;
    }
    if (arguments.empty()) {
        err_ << "tarnix-sim usb-run: no command given; " << kUsage << '\n';
        return kOwnFailure;
    }
    try {
        return RunInTestbed(arguments);
    } catch (const std::exception& error) {
        err_ << "tarnix-sim usb-run: " << error.what() << '\n';
        return kOwnFailure;
    }
}

int UsbRun::RunInTestbed(const std::vector<std::string>& command)
{
    const std::string toolFolder = fs::read_symlink("/proc/self/exe").parent_path().string();
    const std::string busFolder = fs::absolute(SensorStore::DefaultFolder()).lexically_normal().string();
    const std::string preload = Preload();

    DeviceTestbed testbed;
    testbed.OpenToAllUsers();
    BusMirror mirror(SensorStore(busFolder), testbed);
    mirror.Start();
    const UdevDoubles doubles(busFolder, toolFolder);

    const std::vector<std::string> environment = EnvironmentWith({{"LD_PRELOAD", preload},
                                                                  {"UMOCKDEV_DIR", testbed.Root()},
                                                                  {"TARNIX_BUS", "usb"},
                                                                  {"TARNIX_SIM_DIR", busFolder},
                                                                  {"TARNIX_UDEV_ROOT", doubles.Root()}});
    ChildProcess::AdoptOrphans();
    // The command starts with the limit it would have had; the test bed, which keeps descriptors for every
    // device it shows, takes all it may have from then on.
    ChildProcess child(command, environment);
    DescriptorLimit::RaiseToHard();
    std::string failure;
    const FollowingScope following(mirror);
    mirror.Follow([&failure, &child](const std::string& reason) {
        failure = reason;  // read once the thread has ended
        child.Stop();
    });
    const int exitCode = child.Wait();
    ChildProcess::WaitForLeftovers(kLeftoverLimitMs);
    mirror.Stop();
    if (!failure.empty()) {
        err_ << "tarnix-sim usb-run: the test bed cannot follow the bus: " << failure << "; the command was stopped\n";
        return kOwnFailure;
    }
    return exitCode;
}

}  // namespace tarnix::sim

#include "sim/usbrun/UdevDoubles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

namespace fs = std::filesystem;

constexpr fs::perms kReadableByAll = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec;

// The text quoted for the shell, so that any character stays as it is.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char character : text) {
        quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
    }
    return quoted + "'";
}

}  // namespace

UdevDoubles::UdevDoubles(const std::string& busFolder, const std::string& toolFolder)
{
    std::string pattern = (fs::temp_directory_path() / "tarnix-usb-run-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw SimError("cannot create a temporary folder for the udev doubles");
    }
    folder_ = pattern;
    std::error_code error;
    for (const char* folder : {"/usr/lib/udev/rules.d", "/etc/udev/rules.d", "/run/udev/rules.d", "/usr/bin"}) {
        fs::create_directories(folder_ + folder, error);
    }
    std::ofstream(Udevadm()) << Script(busFolder, toolFolder);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder_, error)) {
        fs::permissions(entry.path(), kReadableByAll, error);
        if (error) {
            break;
        }
    }
    if (!error) {
        fs::permissions(folder_, kReadableByAll, error);
    }
    if (error || !fs::exists(Udevadm())) {
        throw SimError("cannot prepare the udev doubles in " + folder_ + ": " + error.message());
    }
}

UdevDoubles::~UdevDoubles()
{
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string UdevDoubles::Script(const std::string& busFolder, const std::string& toolFolder) const
{
    const std::string shipped = toolFolder + "/Drivers/STtube_DFU_Drivers/" + kRuleFile;
    const std::string installed = RulesFolder() + "/" + kRuleFile;
    // The installer's copy starts with a comment line of its own, then holds the shipped rule.
    return "#!/bin/sh\n"
           "# udevadm double of one tarnix-sim usb-run session.\n"
           "echo \"$*\" >>" +
           Quoted(folder_ + "/udevadm.log") +
           "\n"
           "case \"$1\" in\n"
           "control)\n"
           "    exit 0 ;;\n"
           "trigger)\n"
           "    if ! tail -n +2 " +
           Quoted(installed) + " 2>/dev/null | cmp -s " + Quoted(shipped) +
           " -; then\n"
           "        echo \"udevadm: the sensor rule is not installed as \"" +
           Quoted(installed) +
           " >&2\n"
           "        exit 1\n"
           "    fi\n"
           "    case \"$*\" in\n"
           "    *idVendor=0483*)\n"
           "        TARNIX_SIM_DIR=" +
           Quoted(busFolder) + " exec " + Quoted(toolFolder + "/tarnix-sim") +
           " fix-drivers >/dev/null ;;\n"
           "    esac ;;\n"
           "*)\n"
           "    echo \"udevadm: '$1' is not supported by this double\" >&2\n"
           "    exit 2 ;;\n"
           "esac\n";
}

}  // namespace tarnix::sim

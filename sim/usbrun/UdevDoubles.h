#pragma once

#include <string>

namespace tarnix::sim {

// What usb-run gives the driver installer instead of the system's udev: an empty rule folder and a udevadm
// double, in a temporary folder that every user can read (removed with this object). The double's
// `control` succeeds; its `trigger` checks that the installer has put our rule file, unchanged, into the
// folder, and then does what udev does with the rule: the DFU devices get the driver property, that is,
// every DFU device on the simulated bus gets the right driver (tarnix-sim fix-drivers), which the bus mirror
// then shows. The double carries every path it needs, because the installer may reach it through pkexec,
// which clears the environment.
class UdevDoubles {
public:
    static constexpr const char* kRuleFile = "70-tarnix-sensors.rules";

    // `toolFolder` holds tarnix-sim and, under Drivers/STtube_DFU_Drivers, the shipped rule file.
    UdevDoubles(const std::string& busFolder, const std::string& toolFolder);
    ~UdevDoubles();
    UdevDoubles(const UdevDoubles&) = delete;
    UdevDoubles& operator=(const UdevDoubles&) = delete;

    std::string RulesFolder() const { return folder_ + "/rules.d"; }
    std::string Udevadm() const { return folder_ + "/udevadm"; }

private:
    std::string Script(const std::string& busFolder, const std::string& toolFolder) const;

    std::string folder_;
};

}  // namespace tarnix::sim

#pragma once

#include <string>

namespace tarnix::sim {

// What usb-run gives the driver installer instead of the system's udev: a temporary folder that every user
// can read (removed with this object) that the installer takes for the file-system root (TARNIX_UDEV_ROOT),
// with udev's rule folders, empty, and a udevadm double at usr/bin/udevadm. The double notes each call's
// arguments as a line of udevadm.log in the folder. Its `control` succeeds; its `trigger` checks that the
// installer has put our rule, unchanged, into etc/udev/rules.d, and a trigger of the bootloader's ids then
// does what udev does with the rule: the DFU devices get the driver property, that is, every DFU device on
// the simulated bus gets the right driver (tarnix-sim fix-drivers), which the bus mirror then shows. The
// double carries every path it needs, so that it works in any environment.
class UdevDoubles {
public:
    static constexpr const char* kRuleFile = "70-tarnix-sensors.rules";

    // `toolFolder` holds tarnix-sim and, under Drivers/STtube_DFU_Drivers, the shipped rule file.
    UdevDoubles(const std::string& busFolder, const std::string& toolFolder);
    ~UdevDoubles();
    UdevDoubles(const UdevDoubles&) = delete;
    UdevDoubles& operator=(const UdevDoubles&) = delete;

    std::string Root() const { return folder_; }
    std::string RulesFolder() const { return folder_ + "/etc/udev/rules.d"; }
    std::string Udevadm() const { return folder_ + "/usr/bin/udevadm"; }

private:
    std::string Script(const std::string& busFolder, const std::string& toolFolder) const;

    std::string folder_;
};

}  // namespace tarnix::sim

// The real-bus tests run against a umockdev test bed, which this process only sees under the umockdev
// preload: started without it, the program starts itself again with it. The same binary is also the
// small program that a test starts as another user to try opening or discovering a device.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "core/DeviceFinder.h"
#include "core/DeviceHandler.h"
#include "core/TpError.h"
#include "platform/BackendFactories.h"

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

bool PreloadActive()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

[[noreturn]] void RestartUnderPreload(char** argv)
{
    const char* preload = std::getenv("LD_PRELOAD");
    const std::string value = preload != nullptr && *preload != '\0' ? std::string(kPreload) + ":" + preload : kPreload;
    ::setenv("LD_PRELOAD", value.c_str(), 1);
    // With AddressSanitizer the preload comes before its run-time; the order does not matter here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions = std::string(asan != nullptr ? asan : "") +
                                    (asan != nullptr && *asan != '\0' ? ":" : "") + "verify_asan_link_order=0";
    ::setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
    ::execv("/proc/self/exe", argv);
    std::perror("cannot start again under the umockdev preload");
    std::_Exit(127);
}

// Prints which of the two kinds of open of the HID device name work for this process's user.
int TryOpen(const char* name)
{
    using tarnix::io::HidDevice;
    using tarnix::platform::OpenHidDevice;
    const bool probe = OpenHidDevice(name, HidDevice::Access::Probe) != nullptr;
    const bool readWrite = OpenHidDevice(name, HidDevice::Access::ReadWrite) != nullptr;
    std::printf("probe=%d readwrite=%d\n", probe ? 1 : 0, readWrite ? 1 : 0);
    return 0;
}

// Runs one discovery step for this process's user and prints what it found: the error of the first step,
// the sensors then registered, and whether a second step found one as new.
int TryFind()
{
    std::string name;
    try {
        DeviceFinder::FindSensorHidDevice(name);
        std::printf("error=none\n");
    } catch (const TpError::Exception& error) {
        std::printf("error=%s\n", error.what());
    }
    for (const auto& [registered, record] : DeviceHandler::GetInstance()->GetSensorDeviceMap()) {
        std::printf("registered=%s\n", registered.c_str());
    }
    std::printf("found again=%d\n", DeviceFinder::FindSensorHidDevice(name) ? 1 : 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!PreloadActive()) {
        RestartUnderPreload(argv);
    }
    ::setenv("TARNIX_BUS", "usb", 1);
    if (argc == 3 && std::strcmp(argv[1], "--try-open") == 0) {
        return TryOpen(argv[2]);
    }
    if (argc == 2 && std::strcmp(argv[1], "--try-find") == 0) {
        return TryFind();
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "tests/platform/usb/ScriptedDevice.h"

namespace tarnix::test {

// The sensor's HID interface behind a hidraw node, reduced to an echo: a feature report read with ID 2
// answers 02, the length of the last report sent, then that report's bytes. Reads of any other report ID
// are stalled (EPIPE); every other ioctl fails with EINVAL.
class ScriptedHidraw : public ScriptedDevice {
public:
    std::vector<std::vector<std::uint8_t>> SentReports() const;
    std::vector<std::size_t> ReadLengths() const;

protected:
    void Answer(std::unique_ptr<IoctlCall> call) override;

private:
    void SetFeature(IoctlCall& call, std::size_t length);
    void GetFeature(IoctlCall& call, std::size_t length);

    mutable std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> sent_;
    std::vector<std::size_t> readLengths_;
};

}  // namespace tarnix::test

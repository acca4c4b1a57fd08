#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "tests/platform/usb/ScriptedDevice.h"

namespace tarnix::test {

// The sensor's HID interface behind a hidraw node, reduced to an echo: a feature report read with ID 2
// answers 02, the length of the last report sent, then that report's bytes. Reads of any other report ID
// are stalled (EPIPE); every other ioctl fails with EINVAL. A device whose report is shorter than a read
// asks for sends only its report: the read's count is that length and the kernel leaves the rest of the
// caller's buffer as it was.
class ScriptedHidraw : public ScriptedDevice {
public:
    std::vector<std::vector<std::uint8_t>> SentReports() const;
    std::vector<std::size_t> ReadLengths() const;
    // The length of the report a read gets (report ID included); 0, the start: as long as the read asks.
    void SetReportLength(std::size_t length);

protected:
    sim::IoctlAnswer Answer(sim::IoctlCall& call) override;

private:
    sim::IoctlAnswer SetFeature(sim::IoctlCall& call, std::size_t length);
    sim::IoctlAnswer GetFeature(sim::IoctlCall& call, std::size_t length);

    mutable std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> sent_;
    std::vector<std::size_t> readLengths_;
    std::size_t reportLength_ = 0;
};

}  // namespace tarnix::test

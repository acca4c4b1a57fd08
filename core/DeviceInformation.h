#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PlatformInformationRecord;
struct DeviceInformationRecord;

// What a sensor reported about itself in its two information answers. A fresh value has every number 0
// and every string empty; members that no answer filled stay that way.
struct DeviceInformation {
    std::uint32_t firmwareVersionMajor = 0;
    std::uint32_t firmwareVersionMinor = 0;
    std::uint32_t platformValue80 = 0;
    std::uint32_t platformValue81 = 0;
    std::uint32_t platformValue82 = 0;
    std::uint32_t platformValue83 = 0;
    std::uint32_t parametersVersionMajor = 0;
    std::uint32_t parametersVersionMinor = 0;
    std::uint32_t deviceValue80 = 0;
    std::uint32_t deviceValue81 = 0;
    std::uint32_t deviceValue82 = 0;
    std::uint32_t deviceValue83 = 0;
    std::string platformText86;
    std::string platformText87;
    std::string platformText8B;
    std::string platformText8C;
    std::string platformText8D;
    std::string platformText8E;
    std::string mcuIdentifier;

    // Copies what a platform answer holds: numbers only in complete pairs, texts that are present, and the
    // MCU identifier as hexadecimal text when it has at least one octet.
    void FillFromPlatformRecord(const PlatformInformationRecord& record);
    // Copies the two number pairs of a device answer, each only when complete.
    void FillFromDeviceRecord(const DeviceInformationRecord& record);

    // The octets as uppercase hexadecimal digits without separators, at most kMaxMcuIdentifierDigits long.
    static std::string FormatMcuIdentifier(const std::vector<unsigned char>& octets);
    static constexpr std::size_t kMaxMcuIdentifierDigits = 99;
};

#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

// Descriptors the way a USB device hands them over, built for tests of the real-bus backend: the sensor's
// HID report descriptor and the standard descriptors of the sensor in DFU mode.
namespace tarnix::test::descriptors {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

inline std::uint8_t Low(std::uint16_t value) { return static_cast<std::uint8_t>(value); }
inline std::uint8_t High(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }

// A feature report of `count` data bytes with the given report ID.
inline Bytes FeatureReport(std::uint8_t id, std::uint16_t count)
{
    return {0x85, id, 0x75, 0x08, 0x96, Low(count), High(count), 0x09, 0x01, 0xB1, 0x02};
}

// An input report of `count` data bytes with the given report ID.
inline Bytes InputReport(std::uint8_t id, std::uint16_t count)
{
    return {0x85, id, 0x75, 0x08, 0x96, Low(count), High(count), 0x09, 0x01, 0x81, 0x02};
}

// A top-level application collection with the usage page and usage, holding the reports.
inline Bytes ApplicationCollection(std::uint16_t usagePage, std::uint8_t usage, std::initializer_list<Bytes> reports)
{
    return Join({{0x06, Low(usagePage), High(usagePage), 0x09, usage, 0xA1, 0x01}, Join(reports), {0xC0}});
}

// A touch screen's digitizer collection (usage page 0x0D, usage 0x04) with its input report 0x10.
inline Bytes DigitizerCollection() { return ApplicationCollection(0x000D, 0x04, {InputReport(0x10, 8)}); }

// The sensor's vendor collection: usage page, usage, then the feature reports 0x80, 0x01 and 0x02 of 257
// data bytes each.
inline Bytes SensorReportDescriptor(std::uint16_t usagePage, std::uint8_t usage)
{
    return Join({{0x06, Low(usagePage), High(usagePage), 0x09, usage, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00},
                 FeatureReport(0x80, 257),
                 FeatureReport(0x01, 257),
                 FeatureReport(0x02, 257),
                 {0xC0}});
}

inline Bytes DeviceDescriptor(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t bcdDevice)
{
    return {18,
            0x01,
            0x00,
            0x02,
            0x00,
            0x00,
            0x00,
            0x40,
            Low(vendorId),
            High(vendorId),
            Low(productId),
            High(productId),
            Low(bcdDevice),
            High(bcdDevice),
            0x01,
            0x02,
            0x03,
            0x01};
}

inline Bytes ConfigurationDescriptor(std::uint16_t totalLength)
{
    return {9, 0x02, Low(totalLength), High(totalLength), 1, 1, 0, 0x80, 50};
}

inline Bytes InterfaceDescriptor(std::uint8_t number, std::uint8_t alternate, std::uint8_t interfaceClass,
                                 std::uint8_t subclass, std::uint8_t string)
{
    return {9, 0x04, number, alternate, 0, interfaceClass, subclass, 0x02, string};
}

// DFU functional descriptor: will detach, manifestation tolerant, can upload and download; DFU 1.1a.
inline Bytes DfuFunctionalDescriptor(std::uint16_t transferSize)
{
    return {9, 0x21, 0x0B, 0xFF, 0x00, Low(transferSize), High(transferSize), 0x1A, 0x01};
}

// The sysfs descriptors of the sensor in DFU mode: one DFU interface whose string 4 is the memory layout.
inline Bytes DfuModeDescriptors()
{
    return Join({DeviceDescriptor(0x0483, 0xDF11, 0x2200), ConfigurationDescriptor(27),
                 InterfaceDescriptor(0, 0, 0xFE, 0x01, 4), DfuFunctionalDescriptor(2048)});
}

}  // namespace tarnix::test::descriptors

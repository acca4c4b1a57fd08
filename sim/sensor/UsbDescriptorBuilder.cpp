#include "sim/sensor/UsbDescriptorBuilder.h"

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/FeatureReports.h"
#include "io/DfuProtocol.h"

namespace tarnix::sim {

namespace {

using Bytes = UsbDescriptorBuilder::Bytes;

constexpr std::uint8_t kDeviceType = 0x01;
constexpr std::uint8_t kConfigurationType = 0x02;
constexpr std::uint8_t kStringType = 0x03;
constexpr std::uint8_t kInterfaceType = 0x04;
constexpr std::uint8_t kEndpointType = 0x05;
constexpr std::uint8_t kHidType = 0x21;  // the HID descriptor
constexpr std::uint8_t kReportType = 0x22;
constexpr std::uint16_t kLanguageUsEnglish = 0x0409;

void Append16(Bytes& bytes, std::uint16_t value)
{
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

struct DeviceFields {
    std::uint8_t deviceClass;
    std::uint8_t deviceProtocol;
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint16_t bcdDevice;
};

Bytes Device(const DeviceFields& fields)
{
    Bytes bytes = {18, kDeviceType};
    Append16(bytes, 0x0200);  // bcdUSB
    bytes.insert(bytes.end(), {fields.deviceClass, 0x00, fields.deviceProtocol, 64});
    Append16(bytes, fields.vendorId);
    Append16(bytes, fields.productId);
    Append16(bytes, fields.bcdDevice);
    bytes.insert(bytes.end(), {UsbDescriptorBuilder::kManufacturerString, UsbDescriptorBuilder::kProductString,
                               UsbDescriptorBuilder::kSerialString, 1});
    return bytes;
}

// A configuration descriptor (one interface, bus-powered) followed by the descriptors it holds.
Bytes Configuration(std::uint8_t attributes, std::uint8_t maxPower, const Bytes& contents)
{
    Bytes bytes = {9, kConfigurationType};
    Append16(bytes, static_cast<std::uint16_t>(9 + contents.size()));
    bytes.insert(bytes.end(), {1, 1, 0, attributes, maxPower});
    bytes.insert(bytes.end(), contents.begin(), contents.end());
    return bytes;
}

Bytes InterruptInEndpoint(std::uint16_t maxPacket, std::uint8_t interval)
{
    Bytes bytes = {7, kEndpointType, 0x81, 0x03};
    Append16(bytes, maxPacket);
    bytes.push_back(interval);
    return bytes;
}

// A short item of a HID report descriptor with the smallest data size that holds the value.
void Item(Bytes& bytes, std::uint8_t prefix, std::uint32_t value)
{
    if (value <= 0xFF) {
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(prefix | 1), static_cast<std::uint8_t>(value)});
    } else {
        bytes.push_back(static_cast<std::uint8_t>(prefix | 2));
        Append16(bytes, static_cast<std::uint16_t>(value));
    }
}

// The code point of the UTF-8 sequence at `index` (advanced past it); U+FFFD for a malformed sequence.
std::uint32_t NextCodePoint(const std::string& text, std::size_t& index)
{
    const auto lead = static_cast<unsigned char>(text[index++]);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t extra = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
    } else {
        return 0xFFFD;
    }
    std::uint32_t codePoint = lead & (0x3F >> extra);
    for (std::size_t count = 0; count < extra; ++count) {
        if (index >= text.size() || (static_cast<unsigned char>(text[index]) & 0xC0) != 0x80) {
            return 0xFFFD;
        }
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[index++]) & 0x3F);
    }
    const bool overlong = (extra == 2 && codePoint < 0x800) || (extra == 3 && codePoint < 0x10000);
    const bool invalid = codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF);
    return overlong || invalid ? 0xFFFD : codePoint;
}

std::vector<std::uint16_t> Utf16Units(const std::string& text)
{
    std::vector<std::uint16_t> units;
    for (std::size_t index = 0; index < text.size();) {
        const std::uint32_t codePoint = NextCodePoint(text, index);
        if (codePoint >= 0x10000) {
            units.push_back(static_cast<std::uint16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(codePoint));
        }
    }
    return units;
}

}  // namespace

Bytes UsbDescriptorBuilder::RootHubDevice() { return Device({0x09, 0x01, 0x1D6B, 0x0002, 0x0601}); }

Bytes UsbDescriptorBuilder::RootHubConfiguration()
{
    Bytes contents = Interface(0, 1, 0x09, 0x00, 0x00, 0);
    const Bytes endpoint = InterruptInEndpoint(4, 12);
    contents.insert(contents.end(), endpoint.begin(), endpoint.end());
    return Configuration(0xE0, 0, contents);
}

Bytes UsbDescriptorBuilder::SensorDevice()
{
    return Device({0x00, 0x00, kSensorVendorId, kSensorProductId, kSensorBcdDevice});
}

Bytes UsbDescriptorBuilder::SensorConfiguration(std::size_t reportDescriptorLength)
{
    Bytes contents = Interface(0, 1, 0x03, 0x00, 0x00, 0);
    contents.insert(contents.end(), {9, kHidType, 0x11, 0x01, 0x00, 1, kReportType});
    Append16(contents, static_cast<std::uint16_t>(reportDescriptorLength));
    const Bytes endpoint = InterruptInEndpoint(64, 1);
    contents.insert(contents.end(), endpoint.begin(), endpoint.end());
    return Configuration(0x80, 50, contents);
}

Bytes UsbDescriptorBuilder::SensorReportDescriptor(std::uint16_t usagePage, std::uint16_t usage,
                                                   std::uint16_t featureBytes)
{
    SensorCollection configuration;
    configuration.featureBytes = featureBytes;
    return SensorReportDescriptor(usagePage, usage, {configuration});
}

Bytes UsbDescriptorBuilder::SensorReportDescriptor(std::uint16_t usagePage, std::uint16_t usage,
                                                   const std::vector<SensorCollection>& collections)
{
    Bytes bytes;
    for (std::size_t position = 0; position < collections.size(); ++position) {
        const SensorCollection& collection = collections[position];
        Item(bytes, 0x04, collection.configuration ? usagePage : collection.usagePage);  // Usage Page
        Item(bytes, 0x08, collection.configuration ? usage : collection.usage);          // Usage
        bytes.insert(bytes.end(), {0xA1, 0x01});                                         // Collection (Application)
        Item(bytes, 0x14, 0x00);                                                         // Logical Minimum 0
        bytes.insert(bytes.end(), {0x26, 0xFF, 0x00});                                   // Logical Maximum 255
        Item(bytes, 0x74, 8);                                                            // Report Size 8
        if (collection.configuration) {
            for (const std::uint8_t reportId :
                 {FeatureReports::kSwitchReportId, FeatureReports::kRequestReportId, FeatureReports::kAnswerReportId}) {
                Item(bytes, 0x84, reportId);                 // Report ID
                Item(bytes, 0x94, collection.featureBytes);  // Report Count
                Item(bytes, 0x08, 0x01);                     // Usage 1
                Item(bytes, 0xB0, 0x02);                     // Feature (Data, Variable, Absolute)
            }
        } else {
            Item(bytes, 0x84, SensorCollections::kOtherReportIdBase + position);  // Report ID
            Item(bytes, 0x94, SensorCollections::kOtherInputBytes);               // Report Count
            Item(bytes, 0x08, 0x01);                                              // Usage 1
            Item(bytes, 0x80, 0x02);                                              // Input (Data, Variable, Absolute)
        }
        bytes.push_back(0xC0);  // End Collection
    }
    return bytes;
}

Bytes UsbDescriptorBuilder::BootloaderDevice()
{
    return Device({0x00, 0x00, kDfuVendorId, kDfuProductId, kDfuBcdDevice});
}

Bytes UsbDescriptorBuilder::BootloaderConfiguration(std::uint16_t transferSize)
{
    Bytes contents = Interface(0, 0, io::dfu::kInterfaceClass, io::dfu::kInterfaceSubclass, io::dfu::kDfuModeProtocol,
                               kLayoutString);
    const Bytes functional = DfuFunctional(transferSize);
    contents.insert(contents.end(), functional.begin(), functional.end());
    return Configuration(0x80, 50, contents);
}

Bytes UsbDescriptorBuilder::Interface(std::uint8_t alternateSetting, std::uint8_t endpoints,
                                      std::uint8_t interfaceClass, std::uint8_t subclass, std::uint8_t protocol,
                                      std::uint8_t interfaceString)
{
    return {9, kInterfaceType, 0, alternateSetting, endpoints, interfaceClass, subclass, protocol, interfaceString};
}

Bytes UsbDescriptorBuilder::DfuFunctional(std::uint16_t transferSize)
{
    Bytes bytes = {9, io::dfu::kFunctionalDescriptorType, 0x0B};
    Append16(bytes, 255);  // wDetachTimeOut
    Append16(bytes, transferSize);
    Append16(bytes, 0x011A);  // bcdDFUVersion: DfuSe
    return bytes;
}

Bytes UsbDescriptorBuilder::LanguageList()
{
    Bytes bytes = {4, kStringType};
    Append16(bytes, kLanguageUsEnglish);
    return bytes;
}

Bytes UsbDescriptorBuilder::String(const std::string& text)
{
    constexpr std::size_t kMaxLength = 254;
    std::vector<std::uint16_t> units = Utf16Units(text);
    const std::size_t room = (kMaxLength - 2) / 2;
    if (units.size() > room) {
        const bool splitsPair = units[room] >= 0xDC00 && units[room] <= 0xDFFF;
        units.resize(splitsPair ? room - 1 : room);
    }
    Bytes bytes = {0, kStringType};
    for (const std::uint16_t unit : units) {
        Append16(bytes, unit);
    }
    bytes[0] = static_cast<std::uint8_t>(bytes.size());
    return bytes;
}

}  // namespace tarnix::sim

#pragma once

#include <cstddef>
#include <cstdint>

// Fixed facts of the simulated bus and of the virtual sensor's hardware.
namespace tarnix::sim {

// Flash of the sensor's microcontroller as its DFU bootloader describes it.
constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::uint32_t kFlashSize = 128 * 1024;
constexpr std::uint32_t kFlashPageSize = 2048;
constexpr std::uint32_t kFlashPageCount = kFlashSize / kFlashPageSize;
constexpr std::uint16_t kDfuTransferSize = 2048;
constexpr const char* kDfuMemoryLayout = "@Internal Flash  /0x08000000/64*002Kg";

// The persistent parameter page and the firmware header that the sensor's boot code looks for.
constexpr std::uint32_t kParameterAddress = 0x08004000;
constexpr std::uint32_t kParameterOffset = kParameterAddress - kFlashBase;
constexpr std::uint32_t kFirmwareHeaderOffset = 0x200;

// USB identities of the two personalities of the sensor.
constexpr std::uint16_t kSensorVendorId = 0x3C9E;
constexpr std::uint16_t kSensorProductId = 0x0101;
constexpr std::uint16_t kSensorBcdDevice = 0x0100;
constexpr std::uint16_t kDfuVendorId = 0x0483;
constexpr std::uint16_t kDfuProductId = 0xDF11;
constexpr std::uint16_t kDfuBcdDevice = 0x2200;

// HID collection of the sensor's vendor interface.
constexpr std::uint16_t kSensorUsagePage = 0xFF00;
constexpr std::uint16_t kSensorUsage = 0x0001;
constexpr std::uint16_t kFeatureReportLength = 258;

// Interface classes and setup classes, written the way the host's device manager prints them.
constexpr const char* kHidInterfaceClass = "{4D1E55B2-F16F-11CF-88CB-001111000030}";
constexpr const char* kUsbDeviceInterfaceClass = "{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
constexpr const char* kHidSetupClass = "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}";
constexpr const char* kUsbSetupClass = "{36FC9E60-C465-11CF-8056-444553540000}";
// Where a DFU device lands when a generic driver claims it instead of the bootloader driver.
constexpr const char* kGenericUsbDeviceSetupClass = "{88BAE032-5A81-49F0-BC3D-A4FF138216D6}";

}  // namespace tarnix::sim

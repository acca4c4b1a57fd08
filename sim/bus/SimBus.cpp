#include "sim/bus/SimBus.h"

#include <algorithm>
#include <random>
#include <strings.h>

#include "sim/bus/BusLock.h"
#include "sim/sensor/FactoryParameters.h"
#include "sim/images/FirmwareImage.h"
#include "sim/bus/SimError.h"
#include "sim/sensor/TextNumbers.h"
#include "sim/bus/WallClock.h"

namespace tarnix::sim {

namespace {

constexpr std::size_t kDefaultMcuIdLength = 12;
constexpr std::uint32_t kMaxReenumerateMs = 3600000;
constexpr std::uint32_t kMaxPageMs = 60000;

// A stable, serial-specific 96-bit identifier in the style of an STM32 unique device id.
std::vector<std::uint8_t> DerivedMcuId(const std::string& serial)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    std::vector<std::uint8_t> id;
    while (id.size() < kDefaultMcuIdLength) {
        for (char c : serial) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
        }
        hash = (hash ^ id.size()) * 0x100000001B3ull;
        id.push_back(static_cast<std::uint8_t>(hash >> 32));
    }
    return id;
}

bool IsPlainText(const std::string& text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

FlashMemory FactoryFlash(const SensorState& state)
{
    const FirmwareImage image(state.firmware, state.schema, FirmwareImage::kDefaultSize, std::nullopt);
    FlashMemory flash;
    flash.Overwrite(kFlashBase, image.Bytes().data(), image.Bytes().size());
    flash.Overwrite(kParameterAddress, kFactoryParameters, kFactoryParametersSize);
    return flash;
}

std::uint64_t NewInstance()
{
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) | device();
}

}  // namespace

SimBus::SimBus() = default;

SimBus::SimBus(std::string folder) : store_(std::move(folder)) {}

std::string SimBus::Plug(SensorState prototype)
{
    if (!store_.EnsureFolder()) {
        throw SimError("cannot create the bus folder " + Folder());
    }
    BusLock lock(Folder());
    if (!lock.IsHeld()) {
        throw SimError("cannot lock the bus folder " + Folder());
    }
    if (prototype.serial.empty()) {
        prototype.serial = NextSerial();
    }
    if (prototype.mcuId.empty()) {
        prototype.mcuId = DerivedMcuId(prototype.serial);
    }
    Validate(prototype);
    if (store_.Exists(prototype.serial)) {
        throw SimError("a sensor with serial " + prototype.serial + " is already plugged in");
    }
    const std::int64_t now = WallClock::NowMs();
    SensorState state = std::move(prototype);
    state.instance = NewInstance();
    state.generation = 0;
    state.detached = false;
    state.plugSequence = NextPlugSequence();
    state.pluggedAtMs = now;
    state.appearAtMs = now;
    state.changedAtMs = now;
    state.fault = Fault::None;
    state.dfu = DfuRegisters{};
    if (!store_.SaveFlash(state.serial, FactoryFlash(state)) || !store_.Save(state)) {
        store_.Remove(state.serial);
        throw SimError("cannot write the sensor files in " + Folder());
    }
    return state.serial;
}

void SimBus::Unplug(const std::string& serial)
{
    BusLock lock(Folder());
    if (!SensorState::IsValidSerial(serial) || !store_.Exists(serial)) {
        throw SimError("no sensor with serial '" + serial + "' is plugged in");
    }
    if (!store_.Remove(serial)) {
        throw SimError("cannot remove the files of sensor " + serial);
    }
}

void SimBus::UnplugAll()
{
    BusLock lock(Folder());
    for (const std::string& serial : store_.Serials()) {
        store_.Remove(serial);
    }
}

std::vector<SensorListing> SimBus::List() const
{
    const std::int64_t now = WallClock::NowMs();
    std::vector<SensorListing> listings;
    for (const SensorState& state : store_.LoadAll()) {
        listings.push_back({state.serial, state.mode, state.driver, state.IsPresent(now), state.DevicePath()});
    }
    return listings;
}

void SimBus::SetFault(const std::string& serial, Fault fault, bool once)
{
    BusLock lock(Folder());
    SensorState state = LoadExisting(serial);
    state.ReplaceFault(fault, WallClock::NowMs(), once);
    Save(state);
}

std::vector<std::string> SimBus::FixDrivers()
{
    BusLock lock(Folder());
    std::vector<std::string> fixed;
    for (SensorState& state : store_.LoadAll()) {
        if (state.driver == DriverKind::Incompatible) {
            state.driver = DriverKind::Ok;
            state.changedAtMs = WallClock::NowMs();
            Save(state);
            fixed.push_back(state.serial);
        }
    }
    return fixed;
}

std::vector<std::uint8_t> SimBus::ReadFlash(const std::string& serial, std::uint32_t address, std::size_t length) const
{
    LoadExisting(serial);
    if (!FlashMemory::Contains(address, length)) {
        throw SimError("the range " + TextNumbers::Hex32(address) + " + " + std::to_string(length) +
                       " is outside the flash (" + TextNumbers::Hex32(kFlashBase) + " + " + std::to_string(kFlashSize) +
                       ")");
    }
    const auto flash = store_.LoadFlash(serial);
    if (!flash) {
        throw SimError("the flash image of sensor " + serial + " cannot be read");
    }
    std::vector<std::uint8_t> bytes(length);
    flash->Read(address, bytes.data(), length);
    return bytes;
}

void SimBus::WriteFlash(const std::string& serial, std::uint32_t address, const std::vector<std::uint8_t>& data)
{
    BusLock lock(Folder());
    LoadExisting(serial);
    if (!FlashMemory::Contains(address, data.size())) {
        throw SimError("the range " + TextNumbers::Hex32(address) + " + " + std::to_string(data.size()) +
                       " is outside the flash (" + TextNumbers::Hex32(kFlashBase) + " + " + std::to_string(kFlashSize) +
                       ")");
    }
    auto flash = store_.LoadFlash(serial);
    if (!flash) {
        throw SimError("the flash image of sensor " + serial + " cannot be read");
    }
    flash->Overwrite(address, data.data(), data.size());
    if (!store_.SaveFlash(serial, *flash)) {
        throw SimError("cannot write the flash image of sensor " + serial);
    }
}

std::vector<DeviceInterfaceRecord> SimBus::Enumerate(std::string_view interfaceClass) const
{
    const std::int64_t now = WallClock::NowMs();
    std::vector<DeviceInterfaceRecord> records;
    for (const SensorState& state : store_.LoadAll()) {
        const std::string stateClass = state.InterfaceClass();
        if (!state.IsPresent(now) || stateClass.size() != interfaceClass.size() ||
            ::strncasecmp(stateClass.c_str(), interfaceClass.data(), stateClass.size()) != 0) {
            continue;
        }
        if (state.mode == SensorMode::Dfu) {
            records.push_back({state.DevicePath(), state.HardwareId(), state.SetupClass()});
            continue;
        }
        for (std::size_t collection = 0; collection < state.collections.size(); ++collection) {
            records.push_back({state.HidInterfacePath(collection), state.HardwareId(), state.SetupClass()});
        }
    }
    return records;
}

void SimBus::Validate(const SensorState& prototype) const
{
    if (!SensorState::IsValidSerial(prototype.serial)) {
        throw SimError("invalid serial '" + prototype.serial + "': use 1 to " +
                       std::to_string(SensorState::kMaxSerialLength) + " letters, digits, '-' or '_'");
    }
    if (prototype.product.size() > kMaxProductLength || !IsPlainText(prototype.product) ||
        prototype.manufacturer.size() > kMaxProductLength || !IsPlainText(prototype.manufacturer)) {
        throw SimError("product and manufacturer texts must be printable and at most " +
                       std::to_string(kMaxProductLength) + " bytes long");
    }
    if (prototype.mcuId.size() > kMaxMcuIdLength) {
        throw SimError("the MCU identifier must be 1 to " + std::to_string(kMaxMcuIdLength) + " bytes long");
    }
    if (!IsPlainText(prototype.hidHardwareId) || !IsPlainText(prototype.dfuHardwareId)) {
        throw SimError("hardware identifiers must be printable");
    }
    if (prototype.reenumerateMs > kMaxReenumerateMs || prototype.pageMs > kMaxPageMs) {
        throw SimError("the re-enumeration time is at most " + std::to_string(kMaxReenumerateMs) +
                       " ms and the page time at most " + std::to_string(kMaxPageMs) + " ms");
    }
    const std::string collections = SensorCollections::Check(prototype.collections);
    if (!collections.empty()) {
        throw SimError(collections);
    }
}

std::string SimBus::NextSerial() const
{
    for (unsigned number = 1;; ++number) {
        std::string serial = std::to_string(number);
        serial = "TNX" + std::string(serial.size() < 6 ? 6 - serial.size() : 0, '0') + serial;
        if (!store_.Exists(serial)) {
            return serial;
        }
    }
}

// One past the highest sequence on the bus, so the new sensor enumerates after every sensor plugged in before
// it, even within the same millisecond. Called with the bus lock held.
std::uint64_t SimBus::NextPlugSequence() const
{
    std::uint64_t highest = 0;
    for (const SensorState& state : store_.LoadAll()) {
        highest = std::max(highest, state.plugSequence);
    }
    return highest + 1;
}

SensorState SimBus::LoadExisting(const std::string& serial) const
{
    if (!SensorState::IsValidSerial(serial) || !store_.Exists(serial)) {
        throw SimError("no sensor with serial '" + serial + "' is plugged in");
    }
    auto state = store_.Load(serial);
    if (!state) {
        throw SimError("the state file of sensor " + serial + " is damaged");
    }
    return *state;
}

void SimBus::Save(const SensorState& state) const
{
    if (!store_.Save(state)) {
        throw SimError("cannot write the state of sensor " + state.serial);
    }
}

}  // namespace tarnix::sim

#include "sim/bus/SensorStateFile.h"

#include <functional>
#include <map>
#include <vector>

#include "sim/sensor/TextNumbers.h"
#include "io/DfuProtocol.h"

namespace tarnix::sim {

namespace {

constexpr std::string_view kFirstLine = "tarnix-sim-sensor 1";

using Formatter = std::function<std::string(const SensorState&)>;
using Parser = std::function<bool(SensorState&, std::string_view)>;

struct Field {
    const char* key;
    Formatter format;
    Parser parse;
    bool required;
};

bool IsPlainText(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

Field TextField(const char* key, std::string SensorState::*member, bool required = true)
{
    return {key, [member](const SensorState& s) { return s.*member; },
            [member](SensorState& s, std::string_view v) {
                s.*member = std::string(v);
                return true;
            },
            required};
}

Field FlagField(const char* key, bool SensorState::*member, bool required = true)
{
    return {key, [member](const SensorState& s) { return std::string(s.*member ? "1" : "0"); },
            [member](SensorState& s, std::string_view v) {
                if (v != "0" && v != "1") {
                    return false;
                }
                s.*member = v == "1";
                return true;
            },
            required};
}

// A flag of the bootloader's registers.
Field DfuFlagField(const char* key, bool DfuRegisters::*member, bool required = true)
{
    return {key, [member](const SensorState& s) { return std::string(s.dfu.*member ? "1" : "0"); },
            [member](SensorState& s, std::string_view v) {
                s.dfu.*member = v == "1";
                return v == "0" || v == "1";
            },
            required};
}

template <typename T>
Field NumberField(const char* key, T SensorState::*member, std::uint64_t limit, bool required = true)
{
    return {key, [member](const SensorState& s) { return std::to_string(s.*member); },
            [member, limit](SensorState& s, std::string_view v) {
                const auto value = TextNumbers::ParseUnsigned(v, limit);
                if (value) {
                    s.*member = static_cast<T>(*value);
                }
                return value.has_value();
            },
            required};
}

Field TimeField(const char* key, std::int64_t SensorState::*member)
{
    return {key, [member](const SensorState& s) { return std::to_string(s.*member); },
            [member](SensorState& s, std::string_view v) {
                const auto value = TextNumbers::ParseSigned(v);
                if (value) {
                    s.*member = *value;
                }
                return value.has_value();
            },
            true};
}

template <typename T>
Field EnumField(const char* key, T SensorState::*member, std::string_view (*name)(T),
                std::optional<T> (*parse)(std::string_view))
{
    return {key, [member, name](const SensorState& s) { return std::string(name(s.*member)); },
            [member, parse](SensorState& s, std::string_view v) {
                const auto value = parse(v);
                if (value) {
                    s.*member = *value;
                }
                return value.has_value();
            },
            true};
}

const std::vector<Field>& Fields()
{
    static const std::vector<Field> fields = {
        {"serial", [](const SensorState& s) { return s.serial; },
         [](SensorState& s, std::string_view v) {
             s.serial = std::string(v);
             return SensorState::IsValidSerial(v);
         },
         true},
        TextField("product", &SensorState::product),
        TextField("manufacturer", &SensorState::manufacturer),
        {"mcu", [](const SensorState& s) { return TextNumbers::HexBytes(s.mcuId); },
         [](SensorState& s, std::string_view v) {
             auto bytes = TextNumbers::ParseHexBytes(v);
             if (bytes) {
                 s.mcuId = std::move(*bytes);
             }
             return bytes.has_value();
         },
         true},
        NumberField("usage_page", &SensorState::usagePage, 0xFFFF),
        NumberField("usage", &SensorState::usage, 0xFFFF),
        {"collections", [](const SensorState& s) { return SensorCollections::Format(s.collections); },
         [](SensorState& s, std::string_view v) {
             std::string error;
             auto collections = SensorCollections::Parse(v, error);
             if (collections) {
                 s.collections = std::move(*collections);
             }
             return collections.has_value();
         },
         false},
        TextField("hid_hardware_id", &SensorState::hidHardwareId, false),
        TextField("dfu_hardware_id", &SensorState::dfuHardwareId, false),
        FlagField("silent", &SensorState::silent),
        FlagField("open_fails", &SensorState::openFails),
        FlagField("capabilities_unreadable", &SensorState::capabilitiesUnreadable),
        FlagField("serial_string_fails", &SensorState::serialStringFails),
        NumberField("reenumerate_ms", &SensorState::reenumerateMs, 3600000),
        NumberField("page_ms", &SensorState::pageMs, 60000),
        EnumField("driver", &SensorState::driver, DriverName, ParseDriver),
        EnumField("mode", &SensorState::mode, ModeName, ParseMode),
        {"firmware", [](const SensorState& s) { return s.firmware.ToString(); },
         [](SensorState& s, std::string_view v) {
             const auto version = Version::Parse(v);
             s.firmware = version.value_or(Version{});
             return version.has_value();
         },
         true},
        {"schema", [](const SensorState& s) { return s.schema ? s.schema->ToString() : std::string("none"); },
         [](SensorState& s, std::string_view v) {
             if (v == "none") {
                 s.schema.reset();
                 return true;
             }
             s.schema = Version::Parse(v);
             return s.schema.has_value();
         },
         true},
        NumberField("instance", &SensorState::instance, UINT64_MAX),
        NumberField("generation", &SensorState::generation, UINT32_MAX),
        FlagField("detached", &SensorState::detached),
        NumberField("plug_sequence", &SensorState::plugSequence, UINT64_MAX, false),
        TimeField("plugged_at_ms", &SensorState::pluggedAtMs),
        TimeField("appear_at_ms", &SensorState::appearAtMs),
        TimeField("changed_at_ms", &SensorState::changedAtMs),
        EnumField("fault", &SensorState::fault, FaultName, ParseFault),
        FlagField("fault_once", &SensorState::faultOnce, false),
        {"dfu_state", [](const SensorState& s) { return std::to_string(s.dfu.state); },
         [](SensorState& s, std::string_view v) {
             const auto value = TextNumbers::ParseDecimal(v, io::dfu::kStateError);
             s.dfu.state = static_cast<std::uint8_t>(value.value_or(io::dfu::kStateIdle));
             return value.has_value();
         },
         true},
        {"dfu_status", [](const SensorState& s) { return std::to_string(s.dfu.status); },
         [](SensorState& s, std::string_view v) {
             const auto value = TextNumbers::ParseDecimal(v, 0xFF);
             s.dfu.status = static_cast<std::uint8_t>(value.value_or(0));
             return value.has_value();
         },
         true},
        {"dfu_address",
         [](const SensorState& s) {
             return s.dfu.addressPointer ? TextNumbers::Hex32(*s.dfu.addressPointer) : std::string("none");
         },
         [](SensorState& s, std::string_view v) {
             if (v == "none") {
                 s.dfu.addressPointer.reset();
                 return true;
             }
             const auto value = TextNumbers::ParseUnsigned(v, UINT32_MAX);
             if (value) {
                 s.dfu.addressPointer = static_cast<std::uint32_t>(*value);
             }
             return value.has_value();
         },
         true},
        DfuFlagField("dfu_leave_pending", &DfuRegisters::leavePending),
        DfuFlagField("dfu_stalled", &DfuRegisters::stalled),
        DfuFlagField("dfu_hang_pending", &DfuRegisters::hangPending, false),
    };
    return fields;
}

// Splits the text into key/value pairs; false when a line is not "key=value" or a key repeats.
bool SplitLines(std::string_view text, std::map<std::string, std::string, std::less<>>& values, std::string& error)
{
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty()) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) {
            error = "malformed line";
            return false;
        }
        if (!values.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))).second) {
            error = "repeated key " + std::string(line.substr(0, equals));
            return false;
        }
    }
    return true;
}

}  // namespace

std::string SensorStateFile::Format(const SensorState& state)
{
    std::string text(kFirstLine);
    text += '\n';
    for (const Field& field : Fields()) {
        text += field.key;
        text += '=';
        text += field.format(state);
        text += '\n';
    }
    return text;
}

std::optional<SensorState> SensorStateFile::Parse(std::string_view text, std::string& error)
{
    const std::size_t firstEnd = text.find('\n');
    if (text.substr(0, firstEnd) != kFirstLine) {
        error = "not a sensor state file";
        return std::nullopt;
    }
    std::map<std::string, std::string, std::less<>> values;
    if (!SplitLines(firstEnd == std::string_view::npos ? std::string_view{} : text.substr(firstEnd + 1), values,
                    error)) {
        return std::nullopt;
    }
    SensorState state;
    for (const Field& field : Fields()) {
        const auto found = values.find(field.key);
        if (found == values.end()) {
            if (field.required) {
                error = std::string("missing ") + field.key;
                return std::nullopt;
            }
            continue;
        }
        if (!IsPlainText(found->second) || !field.parse(state, found->second)) {
            error = std::string("bad value of ") + field.key;
            return std::nullopt;
        }
    }
    return state;
}

}  // namespace tarnix::sim

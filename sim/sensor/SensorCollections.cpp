#include "sim/sensor/SensorCollections.h"

#include "sim/sensor/TextNumbers.h"

namespace tarnix::sim {

namespace {

constexpr std::string_view kConfiguration = "config";

std::string Hex(std::uint16_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned digit = (value >> shift) & 0xF;
        started = started || digit != 0 || shift == 0;
        if (started) {
            text += kDigits[digit];
        }
    }
    return text;
}

// One item of the list; nothing when it is malformed.
std::optional<SensorCollection> ParseItem(std::string_view item)
{
    SensorCollection collection;
    if (item.substr(0, kConfiguration.size()) == kConfiguration) {
        const std::string_view rest = item.substr(kConfiguration.size());
        if (rest.empty()) {
            return collection;
        }
        const auto bytes = rest[0] == '/' ? TextNumbers::ParseUnsigned(rest.substr(1), 0xFFFF) : std::nullopt;
        if (!bytes) {
            return std::nullopt;
        }
        collection.featureBytes = static_cast<std::uint16_t>(*bytes);
        return collection;
    }
    const std::size_t colon = item.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto page = TextNumbers::ParseUnsigned(item.substr(0, colon), 0xFFFF);
    const auto usage = TextNumbers::ParseUnsigned(item.substr(colon + 1), 0xFFFF);
    if (!page || !usage) {
        return std::nullopt;
    }
    collection.configuration = false;
    collection.usagePage = static_cast<std::uint16_t>(*page);
    collection.usage = static_cast<std::uint16_t>(*usage);
    return collection;
}

}  // namespace

std::vector<SensorCollection> SensorCollections::Default() { return {SensorCollection{}}; }

std::optional<std::vector<SensorCollection>> SensorCollections::Parse(std::string_view text, std::string& error)
{
    std::vector<SensorCollection> collections;
    while (collections.size() <= kMaxCollections) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::optional<SensorCollection> collection = ParseItem(item);
        if (!collection) {
            error = "'" + std::string(item) + "' is no collection (config, config/BYTES or PAGE:USAGE)";
            return std::nullopt;
        }
        collections.push_back(*collection);
        if (comma == std::string_view::npos) {
            break;
        }
        text = text.substr(comma + 1);
    }
    error = Check(collections);
    if (!error.empty()) {
        return std::nullopt;
    }
    return collections;
}

std::string SensorCollections::Format(const std::vector<SensorCollection>& collections)
{
    std::string text;
    for (const SensorCollection& collection : collections) {
        if (!text.empty()) {
            text += ',';
        }
        if (!collection.configuration) {
            text += Hex(collection.usagePage) + ":" + Hex(collection.usage);
            continue;
        }
        text += kConfiguration;
        if (collection.featureBytes != kFeatureReportLength - 1) {
            text += "/" + std::to_string(collection.featureBytes);
        }
    }
    return text;
}

std::string SensorCollections::Check(const std::vector<SensorCollection>& collections)
{
    if (collections.empty() || collections.size() > kMaxCollections) {
        return "a sensor has 1 to " + std::to_string(kMaxCollections) + " collections";
    }
    std::size_t configurations = 0;
    for (const SensorCollection& collection : collections) {
        if (!collection.configuration) {
            continue;
        }
        ++configurations;
        if (collection.featureBytes == 0 || collection.featureBytes >= kFeatureReportLength) {
            return "the configuration collection's reports carry 1 to " + std::to_string(kFeatureReportLength - 1) +
                   " bytes";
        }
    }
    return configurations > 1 ? "a sensor has one configuration collection at most" : std::string();
}

std::optional<std::size_t> SensorCollections::Configuration(const std::vector<SensorCollection>& collections)
{
    for (std::size_t index = 0; index < collections.size(); ++index) {
        if (collections[index].configuration) {
            return index;
        }
    }
    return std::nullopt;
}

}  // namespace tarnix::sim

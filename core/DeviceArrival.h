#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

// Tells which registered record of one device class is the device that arrived since a wait began: the
// first, by name, whose name the bus did not show when the wait began and that the registry did not hold
// then.
//
// A name the registry held then while the bus no longer showed its device is a record left over from the
// device's earlier visit, which the search has not dropped yet. Names repeat on some buses (a sensor's
// configuration-mode device has one name per sensor), so the device may come back under that very name.
// The search then either registers a new record (the leftover was dropped in between), which is the
// arrival, or keeps the leftover as the returned device's record. The latter is certain only once a search
// pass begun after the bus showed the device again has ended with the record still registered: a pass
// already under way may have looked at the bus before the device came back and still drop it.
template <typename Record>
class DeviceArrival {
public:
    using Map = std::map<std::string, Record*>;

    // `passesBegun` and `passesEnded` count the search's passes; `presentNow` lists the class's devices on
    // the bus, asked only while a leftover record is registered.
    DeviceArrival(Map before, std::set<std::string> presentBefore, std::function<std::set<std::string>()> presentNow,
                  const std::atomic<unsigned long>& passesBegun, const std::atomic<unsigned long>& passesEnded)
        : before(std::move(before)),
          presentBefore(std::move(presentBefore)),
          presentNow(std::move(presentNow)),
          passesBegun(passesBegun),
          passesEnded(passesEnded)
    {
    }

    // The arrived device's entry of `now` (the registry's map as it is now), or nothing yet. The entry lives
    // in `now`, which the caller keeps while it uses the entry.
    const typename Map::value_type* Find(const Map& now)
    {
        std::optional<std::set<std::string>> onBus;  // asked at most once per look
        for (const auto& entry : now) {
            if (presentBefore.count(entry.first) != 0) {
                continue;
            }
            const auto earlier = before.find(entry.first);
            if (earlier == before.end() || earlier->second != entry.second) {
                return &entry;
            }
            if (!onBus) {
                onBus = presentNow();
            }
            if (IsKeptForTheReturnedDevice(entry.first, *onBus)) {
                return &entry;
            }
        }
        return nullptr;
    }
    // A map that ends with the call would leave the entry dangling.
    const typename Map::value_type* Find(Map&&) = delete;

private:
    bool IsKeptForTheReturnedDevice(const std::string& name, const std::set<std::string>& onBus)
    {
        if (onBus.count(name) == 0) {
            sightings.erase(name);
            return false;
        }
        // The passes begun by the first look that saw the device back; the next one begins after it.
        const auto sighting = sightings.emplace(name, passesBegun.load()).first;
        return passesEnded.load() > sighting->second;
    }

    const Map before;
    const std::set<std::string> presentBefore;
    const std::function<std::set<std::string>()> presentNow;
    const std::atomic<unsigned long>& passesBegun;
    const std::atomic<unsigned long>& passesEnded;
    std::map<std::string, unsigned long> sightings;
};

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace tarnix::dfuse {

// Hands out opaque handles for objects that the library owns. A handle is a number, never an address: an
// unknown, released or foreign handle is simply not found, so a caller's stale handle cannot crash the
// library. Each table tags its handles so that a handle of one kind is not taken for another.
template <typename T>
class HandleTable {
public:
    explicit HandleTable(std::uint8_t tag) : tag_(tag) {}

    void* Add(std::shared_ptr<T> item)
    {
        std::lock_guard<std::mutex> guard(lock_);
        const std::uintptr_t key = (next_++ << 8) | tag_;
        items_.emplace(key, std::move(item));
        return reinterpret_cast<void*>(key);
    }

    std::shared_ptr<T> Find(const void* handle) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = items_.find(reinterpret_cast<std::uintptr_t>(handle));
        return found == items_.end() ? nullptr : found->second;
    }

    std::shared_ptr<T> Remove(const void* handle)
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = items_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == items_.end()) {
            return nullptr;
        }
        std::shared_ptr<T> item = std::move(found->second);
        items_.erase(found);
        return item;
    }

private:
    const std::uint8_t tag_;
    mutable std::mutex lock_;
    std::uintptr_t next_ = 1;
    std::map<std::uintptr_t, std::shared_ptr<T>> items_;
};

}  // namespace tarnix::dfuse

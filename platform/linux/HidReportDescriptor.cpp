#include "platform/linux/HidReportDescriptor.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tarnix::platform {

namespace {

// Item types and the tags of the items that matter here (HID 1.11, 6.2.2).
constexpr std::uint8_t kMainItem = 0;
constexpr std::uint8_t kGlobalItem = 1;
constexpr std::uint8_t kLocalItem = 2;
constexpr std::uint8_t kLongItemPrefix = 0xFE;

constexpr std::uint8_t kInputTag = 0x8;
constexpr std::uint8_t kOutputTag = 0x9;
constexpr std::uint8_t kCollectionTag = 0xA;
constexpr std::uint8_t kFeatureTag = 0xB;
constexpr std::uint8_t kEndCollectionTag = 0xC;

constexpr std::uint8_t kUsagePageTag = 0x0;
constexpr std::uint8_t kReportSizeTag = 0x7;
constexpr std::uint8_t kReportIdTag = 0x8;
constexpr std::uint8_t kReportCountTag = 0x9;
constexpr std::uint8_t kPushTag = 0xA;
constexpr std::uint8_t kPopTag = 0xB;

constexpr std::uint8_t kUsageTag = 0x0;

constexpr std::uint32_t kApplicationCollection = 0x01;
constexpr std::size_t kGlobalStackDepth = 16;
constexpr std::uint32_t kLargestReportId = 255;
// The byte length of a report plus its ID byte must fit the 16-bit lengths of the capabilities.
constexpr std::uint64_t kLargestReportBits = 0xFFFEull * 8;

enum ReportKind : std::size_t { kInputReport, kOutputReport, kFeatureReport, kReportKinds };

struct Item {
    std::uint8_t type = 0;
    std::uint8_t tag = 0;
    std::uint8_t dataSize = 0;
    std::uint32_t value = 0;
};

struct GlobalState {
    std::uint16_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

// The first usage of the local state, as it was written.
struct PendingUsage {
    std::uint32_t value = 0;
    bool carriesPage = false;
};

class DescriptorParser {
public:
    DescriptorParser(const std::uint8_t* data, std::size_t length) : data_(data), length_(length) {}

    std::optional<std::vector<HidCollection>> Run()
    {
        while (position_ < length_) {
            Item item;
            if (!ReadItem(item) || !Apply(item)) {
                return std::nullopt;
            }
        }
        if (depth_ != 0 || collections_.empty()) {
            return std::nullopt;
        }
        return std::move(collections_);
    }

private:
    // Reads the item at the current position and moves past it; false when it does not fit the buffer.
    // A long item is skipped and handed on with a type that nothing acts on.
    bool ReadItem(Item& item)
    {
        const std::uint8_t prefix = data_[position_];
        if (prefix == kLongItemPrefix) {
            if (length_ - position_ < 3) {
                return false;
            }
            const std::size_t size = data_[position_ + 1];
            if (length_ - position_ - 3 < size) {
                return false;
            }
            position_ += 3 + size;
            item.type = 3;
            return true;
        }
        static constexpr std::uint8_t kDataSizes[] = {0, 1, 2, 4};
        item.dataSize = kDataSizes[prefix & 0x3];
        item.type = (prefix >> 2) & 0x3;
        item.tag = prefix >> 4;
        if (length_ - position_ - 1 < item.dataSize) {
            return false;
        }
        item.value = 0;
        for (std::size_t i = 0; i < item.dataSize; ++i) {
            item.value |= static_cast<std::uint32_t>(data_[position_ + 1 + i]) << (8 * i);
        }
        position_ += 1 + item.dataSize;
        return true;
    }

    bool Apply(const Item& item)
    {
        switch (item.type) {
            case kMainItem: {
                const bool ok = ApplyMain(item);
                usage_.reset();  // every main item ends the local state
                return ok;
            }
            case kGlobalItem:
                return ApplyGlobal(item);
            case kLocalItem:
                ApplyLocal(item);
                return true;
            default:
                return true;  // reserved and long items carry nothing the capabilities need
        }
    }

    bool ApplyMain(const Item& item)
    {
        switch (item.tag) {
            case kCollectionTag:
                return OpenCollection(item.value & 0xFF);
            case kEndCollectionTag:
                return CloseCollection();
            case kInputTag:
                return AddReport(kInputReport);
            case kOutputTag:
                return AddReport(kOutputReport);
            case kFeatureTag:
                return AddReport(kFeatureReport);
            default:
                return true;
        }
    }

    bool ApplyGlobal(const Item& item)
    {
        switch (item.tag) {
            case kUsagePageTag:
                global_.usagePage = static_cast<std::uint16_t>(item.value);
                return true;
            case kReportSizeTag:
                global_.reportSize = item.value;
                return true;
            case kReportCountTag:
                global_.reportCount = item.value;
                return true;
            case kReportIdTag:
                global_.reportId = item.value;
                return item.value != 0 && item.value <= kLargestReportId;
            case kPushTag:
                if (stack_.size() == kGlobalStackDepth) {
                    return false;
                }
                stack_.push_back(global_);
                return true;
            case kPopTag:
                if (stack_.empty()) {
                    return false;
                }
                global_ = stack_.back();
                stack_.pop_back();
                return true;
            default:
                return true;
        }
    }

    void ApplyLocal(const Item& item)
    {
        if (item.tag == kUsageTag && !usage_) {
            usage_ = PendingUsage{item.value, item.dataSize == 4};
        }
    }

    // Opens a collection; a top-level application collection starts the count of its reports afresh.
    bool OpenCollection(std::uint32_t kind)
    {
        if (depth_ == 0 && kind == kApplicationCollection) {
            if (collections_.size() == HidReportDescriptor::kMaxCollections) {
                return false;
            }
            inCollection_ = true;
            const PendingUsage usage = usage_.value_or(PendingUsage{});
            usagePage_ = usage.carriesPage ? static_cast<std::uint16_t>(usage.value >> 16) : global_.usagePage;
            usageValue_ = static_cast<std::uint16_t>(usage.value & 0xFFFF);
            bits_ = {};
            present_ = {};
        }
        ++depth_;
        return true;
    }

    // Closes a collection; the end of a top-level application collection adds it to the result.
    bool CloseCollection()
    {
        if (depth_ == 0) {
            return false;
        }
        if (--depth_ == 0 && inCollection_) {
            collections_.push_back(Result());
            inCollection_ = false;
        }
        return true;
    }

    // Counts the bits of a main item towards its report, when it belongs to a top-level application
    // collection.
    bool AddReport(ReportKind kind)
    {
        if (!inCollection_) {
            return true;
        }
        const std::uint64_t bits = static_cast<std::uint64_t>(global_.reportSize) * global_.reportCount;
        if (bits > kLargestReportBits) {
            return false;
        }
        std::uint64_t& total = bits_[kind][global_.reportId];
        total += bits;  // at most twice the limit: no overflow
        present_[kind][global_.reportId] = true;
        return total <= kLargestReportBits;
    }

    std::uint16_t LongestReport(ReportKind kind) const
    {
        std::uint64_t longest = 0;
        for (std::size_t id = 0; id <= kLargestReportId; ++id) {
            if (present_[kind][id]) {
                longest = std::max<std::uint64_t>(longest, (bits_[kind][id] + 7) / 8 + 1);
            }
        }
        return static_cast<std::uint16_t>(longest);
    }

    HidCollection Result() const
    {
        HidCollection collection;
        collection.capabilities.usagePage = usagePage_;
        collection.capabilities.usage = usageValue_;
        collection.capabilities.inputReportLength = LongestReport(kInputReport);
        collection.capabilities.outputReportLength = LongestReport(kOutputReport);
        collection.capabilities.featureReportLength = LongestReport(kFeatureReport);
        for (std::size_t id = 0; id <= kLargestReportId; ++id) {
            if (present_[kFeatureReport][id]) {
                collection.featureReportIds.push_back(static_cast<std::uint8_t>(id));
            }
        }
        return collection;
    }

    const std::uint8_t* data_;
    std::size_t length_;
    std::size_t position_ = 0;
    GlobalState global_;
    std::vector<GlobalState> stack_;
    std::optional<PendingUsage> usage_;
    std::size_t depth_ = 0;
    bool inCollection_ = false;  // within a top-level application collection
    std::vector<HidCollection> collections_;
    std::uint16_t usagePage_ = 0;
    std::uint16_t usageValue_ = 0;
    std::array<std::array<std::uint64_t, kLargestReportId + 1>, kReportKinds> bits_{};
    std::array<std::array<bool, kLargestReportId + 1>, kReportKinds> present_{};
};

}  // namespace

std::optional<std::vector<HidCollection>> HidReportDescriptor::Parse(const std::uint8_t* data, std::size_t length)
{
    if (data == nullptr) {
        return std::nullopt;
    }
    return DescriptorParser(data, length).Run();
}

}  // namespace tarnix::platform

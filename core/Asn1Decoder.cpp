#include "core/Asn1Decoder.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr unsigned char kEnvelopeTag = 0xEF;
constexpr unsigned char kInformationTag = 0x6C;
constexpr unsigned char kPlatformBlockTag = 0xA0;
constexpr unsigned char kDeviceBlockTag = 0xA1;
constexpr unsigned char kLongFormFlag = 0x80;
constexpr unsigned char kEmptyLongForm = 0x80;
constexpr std::size_t kAddressBlockSize = 4;
constexpr std::size_t kElementHeaderSize = 2;
// Answers this short cannot hold the envelope, address, information element and block headers.
constexpr unsigned int kPlatformMinimumCount = 12;
constexpr unsigned int kDeviceMinimumCount = 7;

template <typename Record, typename Value>
using Member = std::optional<Value> Record::*;

template <typename Record, typename Value>
struct TaggedMember {
    unsigned char tag;
    Member<Record, Value> member;
};

using Platform = PlatformInformationRecord;

constexpr TaggedMember<Platform, std::uint16_t> kPlatformUint16[] = {
    {0x80, &Platform::value80}, {0x81, &Platform::value81}, {0x82, &Platform::value82}, {0x83, &Platform::value83},
    {0x84, &Platform::value84}, {0x85, &Platform::value85}, {0x8F, &Platform::value8F}, {0x90, &Platform::value90},
};

constexpr TaggedMember<Platform, std::uint32_t> kPlatformUint32[] = {
    {0x88, &Platform::value88},
    {0x89, &Platform::value89},
};

constexpr TaggedMember<Platform, std::string> kPlatformTexts[] = {
    {0x86, &Platform::text86}, {0x87, &Platform::text87}, {0x8B, &Platform::text8B},
    {0x8C, &Platform::text8C}, {0x8D, &Platform::text8D}, {0x8E, &Platform::text8E},
};

constexpr unsigned char kPlatformOctetsTag = 0x8A;

using Device = DeviceInformationRecord;

constexpr TaggedMember<Device, std::uint16_t> kDeviceUint16[] = {
    {0x80, &Device::value80}, {0x81, &Device::value81}, {0x82, &Device::value82},
    {0x83, &Device::value83}, {0x84, &Device::value84},
};

// The member of `record` that `tag` fills, or null when the table has no entry for it.
template <typename Record, typename Value, std::size_t N>
std::optional<Value>* FindMember(Record& record, const TaggedMember<Record, Value> (&table)[N], unsigned char tag)
{
    const auto match = std::find_if(std::begin(table), std::end(table),
                                    [tag](const TaggedMember<Record, Value>& entry) { return entry.tag == tag; });
    return match == std::end(table) ? nullptr : &(record.*(match->member));
}

std::uint32_t AccumulateBigEndian(const unsigned char* value, std::size_t length)
{
    std::uint32_t result = 0;
    for (std::size_t i = 0; i < length; ++i) {
        result = (result << 8) + value[i];
    }
    return result;
}

}  // namespace

Asn1Decoder& Asn1Decoder::GetInstance()
{
    static Asn1Decoder instance;
    return instance;
}

std::optional<unsigned int> Asn1Decoder::GetLength(const unsigned char* lengthField, std::size_t available) const
{
    if (available == 0) {
        return std::nullopt;
    }
    if ((lengthField[0] & kLongFormFlag) == 0) {
        return lengthField[0];
    }
    const std::size_t numBytes = GetNumLengthBytes(lengthField);
    if (numBytes > available) {
        return std::nullopt;
    }
    unsigned int length = 0;
    for (std::size_t i = 1; i < numBytes; ++i) {
        length += lengthField[i];
    }
    return length;
}

std::size_t Asn1Decoder::GetNumLengthBytes(const unsigned char* lengthField) const
{
    if ((lengthField[0] & kLongFormFlag) == 0) {
        return 1;
    }
    return static_cast<std::size_t>(lengthField[0] & 0x7F) + 1;
}

std::optional<std::uint16_t> Asn1Decoder::DecodeUint16(const unsigned char* value, std::size_t length) const
{
    if (length == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(AccumulateBigEndian(value, length) & 0xFFFF);
}

std::optional<std::uint32_t> Asn1Decoder::DecodeUint32(const unsigned char* value, std::size_t length) const
{
    if (length == 0) {
        return std::nullopt;
    }
    return AccumulateBigEndian(value, length);
}

std::string Asn1Decoder::DecodeString(const unsigned char* value, std::size_t length) const
{
    const unsigned char* end = std::find(value, value + length, 0);
    return std::string(value, end);
}

std::vector<unsigned char> Asn1Decoder::DecodeOctetString(const unsigned char* value, std::size_t length) const
{
    return std::vector<unsigned char>(value, value + length);
}

std::optional<Asn1Decoder::ElementList> Asn1Decoder::FindElementList(const unsigned char* data, unsigned int count,
                                                                     std::size_t available, unsigned int minimumCount,
                                                                     unsigned char blockTag) const
{
    if (count <= minimumCount || available < kElementHeaderSize || data[0] != kEnvelopeTag) {
        return std::nullopt;
    }
    // Envelope: its length must agree with the count the report states (one byte of slack). An empty long
    // form (length 0) never agrees with a count above the minimum, so it is refused here too.
    std::size_t position = 1;
    const std::optional<unsigned int> envelopeLength = GetLength(data + position, available - position);
    if (!envelopeLength) {
        return std::nullopt;
    }
    if (count != *envelopeLength + 2 && count != *envelopeLength + 1) {
        return std::nullopt;
    }
    // The address block is skipped without looking at it.
    position += GetNumLengthBytes(data + position) + kAddressBlockSize;

    // Information element: only its header is checked; its length is not used further.
    if (position + kElementHeaderSize > available || data[position] != kInformationTag || data[position + 1] == 0 ||
        data[position + 1] == kEmptyLongForm) {
        return std::nullopt;
    }
    position += 1 + GetNumLengthBytes(data + position + 1);

    // Information block: its length bounds the element list; a long form summing to 0 is an empty list.
    if (position + kElementHeaderSize > available || data[position] != blockTag || data[position + 1] == 0) {
        return std::nullopt;
    }
    ++position;
    const std::optional<unsigned int> blockLength = GetLength(data + position, available - position);
    if (!blockLength) {
        return std::nullopt;
    }
    position += GetNumLengthBytes(data + position);
    return ElementList{data + position, *blockLength, available - position};
}

template <typename Visitor>
void Asn1Decoder::WalkElements(const ElementList& list, Visitor visit)
{
    // Elements are visited while they start inside the block. An element that starts inside the block may
    // end beyond it, but never beyond the readable bytes: one that would is dropped and ends the walk.
    std::size_t offset = 0;
    while (offset < list.length) {
        if (offset + kElementHeaderSize > list.available) {
            return;
        }
        const unsigned char tag = list.begin[offset];
        const std::size_t valueLength = list.begin[offset + 1];
        const std::size_t valueOffset = offset + kElementHeaderSize;
        if (valueOffset + valueLength > list.available) {
            return;
        }
        visit(tag, list.begin + valueOffset, valueLength);
        offset = valueOffset + valueLength;
    }
}

void Asn1Decoder::DecodePlatformElement(PlatformInformationRecord& record, unsigned char tag,
                                        const unsigned char* value, std::size_t length) const
{
    if (auto* member = FindMember(record, kPlatformUint16, tag)) {
        if (auto decoded = DecodeUint16(value, length)) {
            *member = decoded;
        }
    } else if (auto* member32 = FindMember(record, kPlatformUint32, tag)) {
        if (auto decoded = DecodeUint32(value, length)) {
            *member32 = decoded;
        }
    } else if (auto* text = FindMember(record, kPlatformTexts, tag)) {
        *text = DecodeString(value, length);
    } else if (tag == kPlatformOctetsTag) {
        record.octets8A = DecodeOctetString(value, length);
    }
}

void Asn1Decoder::DecodeDeviceElement(DeviceInformationRecord& record, unsigned char tag, const unsigned char* value,
                                      std::size_t length) const
{
    if (auto* member = FindMember(record, kDeviceUint16, tag)) {
        if (auto decoded = DecodeUint16(value, length)) {
            *member = decoded;
        }
    }
}

template <typename Record>
std::optional<Record> Asn1Decoder::DecodeAnswer(const unsigned char* data, unsigned int count, std::size_t available,
                                                unsigned int minimumCount, unsigned char blockTag,
                                                ElementDecoder<Record> decodeElement) const
{
    const auto list = FindElementList(data, count, available, minimumCount, blockTag);
    if (!list) {
        return std::nullopt;
    }
    Record record;
    WalkElements(*list,
                 [this, &record, decodeElement](unsigned char tag, const unsigned char* value, std::size_t length) {
                     (this->*decodeElement)(record, tag, value, length);
                 });
    return record;
}

std::optional<PlatformInformationRecord> Asn1Decoder::GetPlatformInformation(const unsigned char* data,
                                                                             unsigned int count,
                                                                             std::size_t available) const
{
    return DecodeAnswer<PlatformInformationRecord>(data, count, available, kPlatformMinimumCount, kPlatformBlockTag,
                                                   &Asn1Decoder::DecodePlatformElement);
}

std::optional<DeviceInformationRecord> Asn1Decoder::GetDeviceInformation(const unsigned char* data, unsigned int count,
                                                                         std::size_t available) const
{
    return DecodeAnswer<DeviceInformationRecord>(data, count, available, kDeviceMinimumCount, kDeviceBlockTag,
                                                 &Asn1Decoder::DecodeDeviceElement);
}

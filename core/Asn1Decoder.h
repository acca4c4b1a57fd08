#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a sensor's platform information answer holds. Each value is present only when its tag was seen.
struct PlatformInformationRecord {
    std::optional<std::uint16_t> value80;
    std::optional<std::uint16_t> value81;
    std::optional<std::uint16_t> value82;
    std::optional<std::uint16_t> value83;
    std::optional<std::uint16_t> value84;
    std::optional<std::uint16_t> value85;
    std::optional<std::uint16_t> value8F;
    std::optional<std::uint16_t> value90;
    std::optional<std::uint32_t> value88;
    std::optional<std::uint32_t> value89;
    std::optional<std::string> text86;
    std::optional<std::string> text87;
    std::optional<std::string> text8B;
    std::optional<std::string> text8C;
    std::optional<std::string> text8D;
    std::optional<std::string> text8E;
    std::optional<std::vector<unsigned char>> octets8A;
};

// What a sensor's device information answer holds. Each value is present only when its tag was seen.
struct DeviceInformationRecord {
    std::optional<std::uint16_t> value80;
    std::optional<std::uint16_t> value81;
    std::optional<std::uint16_t> value82;
    std::optional<std::uint16_t> value83;
    std::optional<std::uint16_t> value84;
};

// Decodes the BER answers a sensor in normal mode gives to the two information requests:
//   EF <len>  40 02 <addr> <addr>  6C <len>  A0|A1 <len>  { <tag> <n> <value...> }*
// The answers come from a device, so every read stays within the `available` bytes the caller says it
// holds at `data`, whatever the lengths inside the answer claim. Malformed answers give no record or a
// record with fewer values; nothing is thrown. The decoder has no state.
class Asn1Decoder {
public:
    static Asn1Decoder& GetInstance();

    Asn1Decoder(const Asn1Decoder&) = delete;
    Asn1Decoder& operator=(const Asn1Decoder&) = delete;

    // `data` points at the envelope tag, `count` is the answer length the feature report states, and
    // `available` is how many bytes may be read from `data` (the rest of the report buffer).
    std::optional<PlatformInformationRecord> GetPlatformInformation(const unsigned char* data, unsigned int count,
                                                                    std::size_t available) const;
    std::optional<DeviceInformationRecord> GetDeviceInformation(const unsigned char* data, unsigned int count,
                                                                std::size_t available) const;

    // Length of a field in short form (one byte below 0x80) or long form (0x80 + K, then K bytes that are
    // added together). Nothing when the field runs past `available` bytes.
    std::optional<unsigned int> GetLength(const unsigned char* lengthField, std::size_t available) const;
    // 1 for the short form, K + 1 for the long form; looks at the first byte only.
    std::size_t GetNumLengthBytes(const unsigned char* lengthField) const;

    // Big-endian integers of any length; only the low 16 or 32 bits are kept. A value of no bytes is
    // nothing (the element is skipped).
    std::optional<std::uint16_t> DecodeUint16(const unsigned char* value, std::size_t length) const;
    std::optional<std::uint32_t> DecodeUint32(const unsigned char* value, std::size_t length) const;
    // The value bytes up to the first NUL among them.
    std::string DecodeString(const unsigned char* value, std::size_t length) const;
    std::vector<unsigned char> DecodeOctetString(const unsigned char* value, std::size_t length) const;

private:
    // The element list of an answer: `length` bytes claimed by the block, `available` readable from `begin`.
    struct ElementList {
        const unsigned char* begin;
        std::size_t length;
        std::size_t available;
    };

    Asn1Decoder() = default;

    std::optional<ElementList> FindElementList(const unsigned char* data, unsigned int count, std::size_t available,
                                               unsigned int minimumCount, unsigned char blockTag) const;
    void DecodePlatformElement(PlatformInformationRecord& record, unsigned char tag, const unsigned char* value,
                               std::size_t length) const;
    void DecodeDeviceElement(DeviceInformationRecord& record, unsigned char tag, const unsigned char* value,
                             std::size_t length) const;

    template <typename Record>
    using ElementDecoder = void (Asn1Decoder::*)(Record&, unsigned char, const unsigned char*, std::size_t) const;

    template <typename Record>
    std::optional<Record> DecodeAnswer(const unsigned char* data, unsigned int count, std::size_t available,
                                       unsigned int minimumCount, unsigned char blockTag,
                                       ElementDecoder<Record> decodeElement) const;

    template <typename Visitor>
    static void WalkElements(const ElementList& list, Visitor visit);
};

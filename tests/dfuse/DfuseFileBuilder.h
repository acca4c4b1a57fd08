#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Builds DfuSe files byte by byte, with a CRC computed bit by bit (independently of the library's table),
// and lets a test break any field afterwards.
class DfuseFileBuilder {
public:
    struct Element {
        std::uint32_t address;
        std::vector<std::uint8_t> data;
    };
    struct Target {
        std::uint8_t alternate;
        std::string name;
        std::vector<Element> elements;
    };

    std::vector<Target> targets;
    std::uint16_t vendorId = 0x0483;
    std::uint16_t productId = 0xDF11;
    std::uint16_t deviceVersion = 0x0200;

    static constexpr std::size_t kPrefixSize = 11;
    static constexpr std::size_t kTargetPrefixSize = 274;
    static constexpr std::size_t kSuffixSize = 16;

    std::vector<std::uint8_t> Build() const
    {
        std::vector<std::uint8_t> file = {
            'D', 'f', 'u', 'S', 'e', 1, 0, 0, 0, 0, static_cast<std::uint8_t>(targets.size())};
        for (const Target& target : targets) {
            AppendTarget(file, target);
        }
        Put32(file, 6, static_cast<std::uint32_t>(file.size()));
        for (const std::uint16_t value : {deviceVersion, productId, vendorId, std::uint16_t{0x011A}}) {
            file.push_back(static_cast<std::uint8_t>(value));
            file.push_back(static_cast<std::uint8_t>(value >> 8));
        }
        file.insert(file.end(), {'U', 'F', 'D', 16, 0, 0, 0, 0});
        FixCrc(file);
        return file;
    }

    static void Put32(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value)
    {
        for (int index = 0; index < 4; ++index) {
            file[at + index] = static_cast<std::uint8_t>(value >> (8 * index));
        }
    }

    // Recomputes the suffix CRC, so that a test can change a field and still reach the check it aims at.
    static void FixCrc(std::vector<std::uint8_t>& file)
    {
        std::uint32_t crc = 0xFFFFFFFFu;
        for (std::size_t index = 0; index + 4 < file.size(); ++index) {
            crc ^= file[index];
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc >> 1) ^ ((crc & 1u) != 0 ? 0xEDB88320u : 0u);
            }
        }
        Put32(file, file.size() - 4, crc);  // the register, without the final complement
    }

private:
    static void Append32(std::vector<std::uint8_t>& file, std::uint32_t value)
    {
        file.resize(file.size() + 4);
        Put32(file, file.size() - 4, value);
    }

    static void AppendTarget(std::vector<std::uint8_t>& file, const Target& target)
    {
        file.insert(file.end(), {'T', 'a', 'r', 'g', 'e', 't', target.alternate});
        Append32(file, target.name.empty() ? 0 : 1);
        std::vector<std::uint8_t> name(255, 0);
        std::memcpy(name.data(), target.name.data(), std::min<std::size_t>(target.name.size(), 254));
        file.insert(file.end(), name.begin(), name.end());
        std::uint32_t size = 0;
        for (const Element& element : target.elements) {
            size += 8 + static_cast<std::uint32_t>(element.data.size());
        }
        Append32(file, size);
        Append32(file, static_cast<std::uint32_t>(target.elements.size()));
        for (const Element& element : target.elements) {
            Append32(file, element.address);
            Append32(file, static_cast<std::uint32_t>(element.data.size()));
            file.insert(file.end(), element.data.begin(), element.data.end());
        }
    }
};

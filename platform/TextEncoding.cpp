#include "platform/TextEncoding.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace tarnix::platform {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

// Decodes one code point starting at text[index]; advances index past it. Overlong forms, surrogates,
// values above U+10FFFF and truncated sequences give U+FFFD and consume one byte.
char32_t DecodeUtf8(const std::string& text, std::size_t& index)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(index);
    if (lead < 0x80) {
        ++index;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        ++index;
        return replacementCharacter;
    }
    if (index + length > text.size()) {
        ++index;
        return replacementCharacter;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(index + i);
        if ((next & 0xC0) != 0x80) {
            ++index;
            return replacementCharacter;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++index;
        return replacementCharacter;
    }
    index += length;
    return value;
}

void AppendUtf8(std::string& out, char32_t value)
{
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

bool IsAsciiCodeSet(const char* codeSet)
{
    return std::strcmp(codeSet, "ANSI_X3.4-1968") == 0 || std::strcmp(codeSet, "ASCII") == 0 ||
           std::strcmp(codeSet, "US-ASCII") == 0;
}

}  // namespace

std::u16string TextEncoding::Utf8ToUtf16(const std::string& text)
{
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        const char32_t value = DecodeUtf8(text, index);
        if (value >= 0x10000) {
            const char32_t offset = value - 0x10000;
            result += static_cast<char16_t>(0xD800 + (offset >> 10));
            result += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
        } else {
            result += static_cast<char16_t>(value);
        }
    }
    return result;
}

std::string TextEncoding::Utf16ToUtf8(const std::u16string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        const char16_t unit = text[index];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && index + 1 < text.size() && text[index + 1] >= 0xDC00 && text[index + 1] <= 0xDFFF) {
            const char32_t value = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                   (static_cast<char32_t>(text[index + 1]) - 0xDC00);
            AppendUtf8(result, value);
            ++index;
        } else if (high || low) {
            AppendUtf8(result, replacementCharacter);
        } else {
            AppendUtf8(result, unit);
        }
    }
    return result;
}

std::string TextEncoding::Utf8ToNarrowCodePage(const std::string& text)
{
    const char* codeSet = ::nl_langinfo(CODESET);
    if (codeSet == nullptr || IsAsciiCodeSet(codeSet) || std::strcmp(codeSet, "UTF-8") == 0) {
        return text;
    }
    const std::string target = std::string(codeSet) + "//TRANSLIT";
    iconv_t converter = ::iconv_open(target.c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return text;
    }
    std::string result;
    std::string input = text;
    char* in = input.data();
    std::size_t inLeft = input.size();
    char chunk[256];
    while (inLeft > 0) {
        char* out = chunk;
        std::size_t outLeft = sizeof(chunk);
        const std::size_t done = ::iconv(converter, &in, &inLeft, &out, &outLeft);
        result.append(chunk, sizeof(chunk) - outLeft);
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A character the code set cannot hold, or malformed input: one '?' and go on after it.
            std::size_t index = static_cast<std::size_t>(in - input.data());
            DecodeUtf8(input, index);
            inLeft -= index - static_cast<std::size_t>(in - input.data());
            in = input.data() + index;
            result += '?';
        }
    }
    ::iconv_close(converter);
    return result;
}

}  // namespace tarnix::platform

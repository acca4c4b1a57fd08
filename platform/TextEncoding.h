#pragma once

#include <string>

namespace tarnix::platform {

// Conversions between the text encodings that meet at the platform boundary: UTF-8 (every narrow string of
// the programs), UTF-16 (the wide form of device paths and device strings) and the process's narrow code
// page (file paths handed to the DFU file library).
class TextEncoding {
public:
    // Malformed input is replaced by U+FFFD, one per bad sequence; nothing is reported.
    static std::u16string Utf8ToUtf16(const std::string& text);
    static std::string Utf16ToUtf8(const std::u16string& text);

    // UTF-8 to the code set of the current locale; characters it cannot hold become '?'. In the plain C
    // locale, whose code set is ASCII, file names stay as UTF-8 bytes, which is how this file system
    // stores them.
    static std::string Utf8ToNarrowCodePage(const std::string& text);
};

}  // namespace tarnix::platform

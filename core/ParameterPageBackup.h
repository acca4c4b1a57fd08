#pragma once

#include "core/TpError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Keeps what the sensor's parameter page held before a write that may have left it erased or damaged: the
// page's bytes as an Intel hex image at the page's flash address, in a new file that the flash command writes
// back byte for byte (`TarnixProgrammer_CLI -f FILE -o`). The file goes to the user's data folder,
// ${XDG_DATA_HOME:-$HOME/.local/share}/tarnix-programmer/, named after the date and time of the save; an
// existing file is never written over.
class ParameterPageBackup {
public:
    // What a save gave: the file written, or why there is none.
    struct Outcome {
        std::string path;
        std::string failure;
        bool blank = false;  // the page held nothing (all 0xFF): no file, nothing to write back
    };

    // Saves the page's former contents, adds the line about them to a new error of the type and throws it.
    template <typename Error>
    [[noreturn]] static void Throw(const std::vector<char>& page, std::uint32_t address)
    {
        Error error;
        Attach(error, page, address);
        throw error;
    }
    // Saves the page's former contents and adds the line about them (the file, or why there is none) to the
    // error.
    static void Attach(TpError::Exception& error, const std::vector<char>& page, std::uint32_t address);

    // Saves the page in a new file of the backup folder. A blank page is not saved: a flash skips erased
    // bytes, so no file would bring it back.
    static Outcome Save(const std::vector<char>& page, std::uint32_t address);
    // Saves the page in a new file of `folder`, making the folders that are missing (mode 0700). The file is
    // created with mode 0600, never over an existing one: a name that is taken gets a number. The file and
    // the folder entries that lead to it are synced before the save counts as made.
    static Outcome SaveIn(const std::string& folder, const std::vector<char>& page, std::uint32_t address);
    // The backup folder the environment names. A relative XDG_DATA_HOME counts as unset; nothing, with the
    // reason, when no absolute folder is named.
    static std::optional<std::string> Folder(std::string& failure);
    // The bytes as Intel hex text from the address: extended linear address records, data records of 16
    // bytes, the end-of-file record.
    static std::string HexText(const std::vector<char>& bytes, std::uint32_t address);
    // The line shown after the write's error: the file and the command that writes it back (run from the
    // file's folder where the full path is longer than the flash command takes), why there is no file, or,
    // for a blank page, the write that replaces the whole area.
    static std::string Notice(const Outcome& outcome);
};

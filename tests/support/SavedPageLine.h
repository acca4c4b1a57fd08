#pragma once

#include <string>

namespace tarnix::test {

// The first words of the line that follows a parameter write's error when the write may have left the
// sensor's parameter page other than it was.
inline const std::string kPageMayBeChanged = "The parameter page of the sensor may be erased or damaged.";

// That line when the page from before the write is saved in `path` and the command written back names
// `word` (the path as the shell reads it).
inline std::string SavedPageLine(const std::string& path, const std::string& word)
{
    return kPageMayBeChanged + " Its contents from before the write are saved in " + path +
           "; write them back with: TarnixProgrammer_CLI -f " + word + " -o";
}

inline std::string SavedPageLine(const std::string& path) { return SavedPageLine(path, path); }

}  // namespace tarnix::test

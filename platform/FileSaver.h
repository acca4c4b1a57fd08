#pragma once

#include <cstddef>
#include <string>

namespace tarnix::platform {

// Saves a whole file the way a careful editor does.
//
// - A symbolic link is followed to the file it names (a dangling link creates its target); the link stays.
// - A file that the user may not write (access(2) W_OK, so root may write anything) is refused untouched.
// - The text goes to a temporary file beside the target, is flushed to disk and renamed over the target, so
//   that a failure leaves the earlier file whole. The new file keeps the earlier one's permission bits, its
//   group and, where the user may set it, its owner; a file that did not exist gets 0666 less the umask.
// - Where the folder allows no temporary file, or the user cannot give a new file the earlier one's group
//   (so that another group would gain that group's permissions), a writable file is written in place instead.
// - Something other than a plain file or a folder (a device, a pipe) is written in place.
class FileSaver {
public:
    // True when the file holds exactly the given bytes afterwards.
    static bool Save(const std::string& path, const char* data, std::size_t length);
};

}  // namespace tarnix::platform

#include "sim/bus/DamageWarnings.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <tuple>

namespace tarnix::sim {

void DamageWarnings::Report(const std::string& path, const std::string& reason)
{
    using Key = std::tuple<std::string, long long, long long, long long>;
    static std::mutex mutex;
    static std::set<Key> reported;

    struct stat info {};
    Key key{path, 0, 0, 0};
    if (::stat(path.c_str(), &info) == 0) {
        key = Key{path, static_cast<long long>(info.st_ino), static_cast<long long>(info.st_size),
                  static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (reported.insert(key).second) {
        std::fprintf(stderr, "tarnix-sim: warning: skipping sensor %s: %s\n", path.c_str(), reason.c_str());
    }
}

}  // namespace tarnix::sim

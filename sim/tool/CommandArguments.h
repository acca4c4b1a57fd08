#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tarnix::sim {

// The arguments of one tarnix-sim command: options that take a value, flags, and positional arguments, in
// any order. Unknown, repeated or value-less options are refused with SimError.
class CommandArguments {
public:
    CommandArguments(const std::vector<std::string>& arguments, const std::set<std::string>& valueOptions,
                     const std::set<std::string>& flags);

    std::optional<std::string> Value(const std::string& option) const;
    bool Flag(const std::string& flag) const;
    // The positional arguments; SimError unless there are exactly `count`.
    const std::vector<std::string>& Positionals(std::size_t count, const std::string& usage) const;

private:
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
    std::vector<std::string> positionals_;
};

}  // namespace tarnix::sim

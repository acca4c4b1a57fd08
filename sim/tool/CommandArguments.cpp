#include "sim/tool/CommandArguments.h"

#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

bool LooksLikeOption(const std::string& argument) { return argument.size() > 1 && argument[0] == '-'; }

}  // namespace

CommandArguments::CommandArguments(const std::vector<std::string>& arguments, const std::set<std::string>& valueOptions,
                                   const std::set<std::string>& flags)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!LooksLikeOption(argument)) {
            positionals_.push_back(argument);
        } else if (flags.count(argument) != 0) {
            if (!flags_.insert(argument).second) {
                throw SimError("option " + argument + " given twice");
            }
        } else if (valueOptions.count(argument) != 0) {
            if (i + 1 >= arguments.size()) {
                throw SimError("option " + argument + " needs a value");
            }
            if (!values_.emplace(argument, arguments[++i]).second) {
                throw SimError("option " + argument + " given twice");
            }
        } else {
            throw SimError("unknown option " + argument);
        }
    }
}

std::optional<std::string> CommandArguments::Value(const std::string& option) const
{
    const auto found = values_.find(option);
    return found == values_.end() ? std::nullopt : std::optional<std::string>(found->second);
}

bool CommandArguments::Flag(const std::string& flag) const { return flags_.count(flag) != 0; }

const std::vector<std::string>& CommandArguments::Positionals(std::size_t count, const std::string& usage) const
{
    if (positionals_.size() != count) {
        throw SimError("usage: tarnix-sim " + usage);
    }
    return positionals_;
}

}  // namespace tarnix::sim

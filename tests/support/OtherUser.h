#pragma once

#include <string>
#include <unistd.h>
#include <vector>

namespace tarnix::test {

// Tests that meet a second user run a program as the unprivileged account 65534 ("nobody"), through
// setpriv with no supplementary groups. Only root can switch users, so these tests need a root run.
inline bool CanRunAsOtherUser() { return ::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) == 0; }

// The command line that runs `command` as that other user.
inline std::vector<std::string> AsOtherUser(std::vector<std::string> command)
{
    command.insert(command.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return command;
}

}  // namespace tarnix::test

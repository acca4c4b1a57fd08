// Takes the named mutex given as its one argument, writes "first" or "existed" on a line and keeps the
// mutex until its standard input ends. The platform tests start it as another user, or kill it, to see what
// a holder in another process does.
#include "platform/NamedMutex.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarnix_named_mutex_holder NAME\n");
        return 2;
    }
    const tarnix::platform::NamedMutex mutex(argv[1]);
    std::printf("%s\n", mutex.AlreadyExisted() ? "existed" : "first");
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

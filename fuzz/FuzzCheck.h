#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

// Reports a property the fuzzed code broke; the abort makes libFuzzer keep the input.
[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

}  // namespace fuzzcheck

// What a fuzz target does when an invariant fails: it names it and aborts, which libFuzzer
// reports as a finding and saves the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define COMFLASH_CHECK(condition, what)                                                            \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "invariant failed: %s (%s, %s:%d)\n", what, #condition, __FILE__, \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

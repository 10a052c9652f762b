// A property that fails stops the run with a message, so libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition, ...)                                   \
    do {                                                               \
        if (!(condition)) {                                            \
            std::fprintf(stderr, "property failed: %s\n", #condition); \
            std::fprintf(stderr, __VA_ARGS__);                         \
            std::fputc('\n', stderr);                                  \
            std::abort();                                              \
        }                                                              \
    } while (0)

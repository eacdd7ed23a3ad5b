// The property checks of the fuzz targets: a broken property aborts, which both libFuzzer and
// the replay test report as a failure with the message.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__,       \
                         #condition);                                                      \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

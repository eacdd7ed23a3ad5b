// Fuzzes the reading of download command files: every command handed on is printable ASCII of
// at most 127 characters beginning with a letter or digit.
#include <cstdio>
#include <cstring>

#include "fuzz/support/check.h"
#include "rdi/command_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!file) return 0;
    tov::rdi::forEachCommand(file, [](const char* command) {
        const size_t length = std::strlen(command);
        FUZZ_CHECK(length >= 1 && length <= 127);
        for (size_t i = 0; i < length; ++i) {
            const auto c = static_cast<unsigned char>(command[i]);
            FUZZ_CHECK(c >= 0x20 && c < 0x80);
        }
    });
    std::fclose(file);
    return 0;
}

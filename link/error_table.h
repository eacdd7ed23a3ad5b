// The error code tables of the library and of the RDI library, and their lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tov::link {

struct ErrorTextEntry {
    int32_t code;
    const char* text;
};

// The library's table (87 rows, starting with 0 "Okay").
std::span<const ErrorTextEntry> libraryErrorTable();
// The RDI library's shorter table (48 rows, no row for 0).
std::span<const ErrorTextEntry> rdiErrorTable();

// Returns the table text for code. An unknown code is formatted as
// "TOV: Unknown error number (%i)" into `scratch` (which must hold at least 48 bytes)
// and `scratch` is returned.
const char* errorText(std::span<const ErrorTextEntry> table, int32_t code, char* scratch,
                      size_t scratchSize);

}  // namespace tov::link

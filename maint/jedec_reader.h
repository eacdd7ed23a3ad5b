// Reading the fuse map of the logic device from a JEDEC file: the rows of the fuse list that
// begins at fuse address 0, cut to the device's row geometry.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tov::maint {

// How a JEDEC file is cut into fuse rows, and how its lines are read.
struct JedecLayout {
    size_t rows = 0;         // fuse rows of the device
    size_t rowLength = 0;    // fuses ('0'/'1' characters) per row
    size_t linesPerRow = 0;  // text lines that make one row
    // The most characters one line read takes, its line end included. A longer line is read as
    // several lines of at most this many characters each, the way a fixed buffer of
    // lineLimit + 1 bytes handed to fgets splits it: every piece counts as a line of its own.
    size_t lineLimit = 0;
    // The fuse list starts after the first line whose first seven characters are "*L00000";
    // otherwise only a line that is exactly "*L00000" (up to its line end) starts it.
    bool startByPrefix = false;
};

// Why a JEDEC file could not be read; the callers pick their own texts or codes for each kind.
enum class JedecError {
    kNone,
    kCannotOpen,      // the file cannot be opened
    kNoFuseList,      // no "*L00000" line
    kWrongRowLength,  // a row came out at another length, or the file ended within the rows
};

// Reads the rows of `path` into `rows` (cleared first; complete only on kNone). The fuse lines
// follow the start line directly; each row is the concatenation of the leading runs of '0' and
// '1' of its lines. Everything after the last row is ignored.
JedecError readJedecRows(const std::string& path, const JedecLayout& layout,
                         std::vector<std::string>& rows);

}  // namespace tov::maint

// Builds JEDEC fuse-map files for tests: a header, the "*L00000" fuse list, the fuse checksum and
// the transmission trailer, as device programming tools write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tov::test {

// Rows of '0'/'1' characters in a pattern that differs from row to row and from seed to seed.
std::vector<std::string> fuseRows(size_t rows, size_t rowLength, uint32_t seed);

// Cuts each row into `linesPerRow` lines of equal length (the last takes the rest).
std::vector<std::string> fuseLines(const std::vector<std::string>& rows, size_t linesPerRow);

// The fuse checksum of a JEDEC file: fuses taken 8 at a time (first fuse in the lowest bit) as
// bytes, summed modulo 65536.
uint16_t fuseChecksum(const std::vector<std::string>& rows);

// What goes around the fuse lines.
struct JedecFrame {
    std::string startLine = "*L00000";  // the line the fuse list begins after
    std::string lineEnd = "\n";
    bool withHeader = true;   // STX, title, notes, pin and fuse counts, default fuse state
    bool withTrailer = true;  // fuse checksum, end of fields, ETX and transmission checksum
};

// A whole JEDEC file with `lines` as its fuse lines, taken as they stand. The fuse count and the
// checksum cover the leading '0'/'1' runs of the lines.
std::string jedecText(const std::vector<std::string>& lines, const JedecFrame& frame = {});

// Writes `text` to `path` as it stands; returns the path.
std::string writeTextFile(const std::string& path, std::string_view text);

}  // namespace tov::test

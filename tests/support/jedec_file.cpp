// JEDEC fuse-map files for tests.
#include "tests/support/jedec_file.h"

#include <cstdio>
#include <fstream>

namespace tov::test {
namespace {

// Start and end of transmission around the file's fields.
constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

std::string leadingFuses(std::string_view line) {
    size_t n = 0;
    while (n < line.size() && (line[n] == '0' || line[n] == '1')) ++n;
    return std::string(line.substr(0, n));
}

}  // namespace

std::vector<std::string> fuseRows(size_t rows, size_t rowLength, uint32_t seed) {
    std::vector<std::string> result(rows);
    uint32_t state = seed * 2654435761U + 1;
    for (auto& row : result) {
        row.resize(rowLength);
        for (auto& fuse : row) {
            state = state * 1103515245U + 12345U;
            fuse = (state >> 16) & 1U ? '1' : '0';
        }
    }
    return result;
}

std::vector<std::string> fuseLines(const std::vector<std::string>& rows, size_t linesPerRow) {
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        const size_t each = row.size() / linesPerRow;
        for (size_t l = 0; l < linesPerRow; ++l) {
            const size_t from = l * each;
            lines.push_back(row.substr(from, l + 1 == linesPerRow ? std::string::npos : each));
        }
    }
    return lines;
}

uint16_t fuseChecksum(const std::vector<std::string>& rows) {
    std::string fuses;
    for (const auto& row : rows) fuses += row;
    uint32_t sum = 0;
    for (size_t at = 0; at < fuses.size(); at += 8) {
        unsigned byte = 0;
        for (size_t bit = 0; bit < 8 && at + bit < fuses.size(); ++bit) {
            if (fuses[at + bit] == '1') byte |= 1U << bit;
        }
        sum += byte;
    }
    return static_cast<uint16_t>(sum);
}

std::string jedecText(const std::vector<std::string>& lines, const JedecFrame& frame) {
    std::vector<std::string> runs;
    size_t fuseCount = 0;
    for (const auto& line : lines) {
        runs.push_back(leadingFuses(line));
        fuseCount += runs.back().size();
    }
    const std::string& end = frame.lineEnd;

    std::string text;
    if (frame.withHeader) {
        text += kStx + std::string("JEDEC fuse map of the probe logic") + end;
        text += "NOTE Generated for tests*" + end;
        text += "*QP84" + end;
        text += "*QF" + std::to_string(fuseCount) + end;
        text += "*G0" + end;
        text += "*F0" + end;
    }
    text += frame.startLine + end;
    for (const auto& line : lines) text += line + end;
    if (frame.withTrailer) {
        char checksum[8];
        std::snprintf(checksum, sizeof checksum, "%04X", fuseChecksum(runs));
        text += std::string("*C") + checksum + end;
        text += "*" + end;
        text += kEtx + std::string("0000") + end;
    }
    return text;
}

std::string writeTextFile(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace tov::test

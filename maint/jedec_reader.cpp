// The JEDEC reader: fgets-style line pieces, the "*L00000" start line and the fuse rows.
#include "maint/jedec_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace tov::maint {
namespace {

constexpr std::string_view kFuseListStart = "*L00000";

// Owns the open file.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Reads the next piece of at most `limit` characters (line end included) into `buffer`; false
// at the end of the file. A piece ends at a NUL as a C string would.
bool readPiece(std::FILE* file, std::vector<char>& buffer, std::string_view& piece) {
    if (!std::fgets(buffer.data(), static_cast<int>(buffer.size()), file)) return false;
    piece = std::string_view(buffer.data(), std::strlen(buffer.data()));
    return true;
}

std::string_view withoutLineEnd(std::string_view piece) {
    while (!piece.empty() && (piece.back() == '\n' || piece.back() == '\r')) piece.remove_suffix(1);
    return piece;
}

bool startsFuseList(std::string_view piece, bool byPrefix) {
    if (byPrefix) return piece.substr(0, kFuseListStart.size()) == kFuseListStart;
    return withoutLineEnd(piece) == kFuseListStart;
}

size_t leadingFuseRun(std::string_view piece) {
    size_t n = 0;
    while (n < piece.size() && (piece[n] == '0' || piece[n] == '1')) ++n;
    return n;
}

}  // namespace

JedecError readJedecRows(const std::string& path, const JedecLayout& layout,
                         std::vector<std::string>& rows) {
    rows.clear();
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return JedecError::kCannotOpen;

    // One byte more than the piece for the terminating NUL; at least two so a piece can hold a
    // character.
    std::vector<char> buffer(std::max<size_t>(layout.lineLimit, 1) + 1);
    std::string_view piece;
    bool started = false;
    while (readPiece(file.get(), buffer, piece)) {
        if (startsFuseList(piece, layout.startByPrefix)) {
            started = true;
            break;
        }
    }
    if (!started) return JedecError::kNoFuseList;

    rows.reserve(layout.rows);
    for (size_t r = 0; r < layout.rows; ++r) {
        std::string row;
        row.reserve(layout.rowLength);
        for (size_t l = 0; l < layout.linesPerRow; ++l) {
            if (!readPiece(file.get(), buffer, piece)) break;
            row.append(piece.substr(0, leadingFuseRun(piece)));
        }
        if (row.size() != layout.rowLength) {
            rows.clear();
            return JedecError::kWrongRowLength;
        }
        rows.push_back(std::move(row));
    }
    return JedecError::kNone;
}

}  // namespace tov::maint

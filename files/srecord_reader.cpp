// S-record line parsing by table-driven hex decoding, and the chunked file reader that splits
// lines in place in its buffer.
#include "files/srecord_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace tov::files {
namespace {

// Value of each character as a hexadecimal digit, -1 for other characters.
struct HexTable {
    int8_t value[256];
};

constexpr HexTable makeHexTable(bool lowerCase) {
    HexTable t{};
    for (int c = 0; c < 256; ++c) t.value[c] = -1;
    for (int c = '0'; c <= '9'; ++c) t.value[c] = static_cast<int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t.value[c] = static_cast<int8_t>(c - 'A' + 10);
    if (lowerCase) {
        for (int c = 'a'; c <= 'f'; ++c) t.value[c] = static_cast<int8_t>(c - 'a' + 10);
    }
    return t;
}

constexpr HexTable kUpperHex = makeHexTable(false);
constexpr HexTable kAnyHex = makeHexTable(true);

// Decodes `count` bytes from 2 × count digits; false at the first character that is no digit.
bool decodeHex(const int8_t* table, const char* text, size_t count, uint8_t* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < count; ++i, p += 2) {
        const int hi = table[p[0]];
        const int lo = table[p[1]];
        if ((hi | lo) < 0) return false;
        out[i] = static_cast<uint8_t>((hi << 4) | lo);
    }
    return true;
}

}  // namespace

LineResult parseSRecordLine(std::string_view line, const SRecordLineRules& rules, SRecord& record) {
    return parseSRecordLine(line, rules, record, nullptr);
}

LineResult parseSRecordLine(std::string_view line, const SRecordLineRules& rules, SRecord& record,
                            std::string* problem) {
    const auto bad = [problem](std::string text) {
        if (problem) *problem = std::move(text);
        return LineResult::kError;
    };
    if (rules.maxLineLength != 0 && line.size() > rules.maxLineLength) {
        return bad("line longer than " + std::to_string(rules.maxLineLength) + " characters");
    }
    if (rules.skipBlankLines && (line.empty() || static_cast<unsigned char>(line[0]) < '!')) {
        return LineResult::kSkipped;
    }
    size_t start = 0;
    if (rules.recordAtFirstS) {
        start = line.find('S');
        if (start == std::string_view::npos) return bad("no record: the line has no 'S'");
    } else if (line.empty() || line[0] != 'S') {
        return bad("not a record: the line does not start with 'S'");
    }
    const std::string_view text = line.substr(start);
    if (text.size() < 2) return bad("record type missing");
    const char type = text[1];
    const bool data = type >= '1' && type <= '3';
    if (!data && !rules.exactLength) return LineResult::kSkipped;

    const int8_t* table = rules.upperCaseOnly ? kUpperHex.value : kAnyHex.value;
    uint8_t count = 0;
    if (text.size() < 4 || !decodeHex(table, text.data() + 2, 1, &count)) {
        return bad("byte count missing or not hexadecimal");
    }
    const size_t recordLength = 4 + 2 * size_t{count};
    if (text.size() < recordLength) return bad("record shorter than its byte count");
    if (rules.exactLength && text.size() != recordLength) {
        return bad("characters after the checksum");
    }
    if (!data) return LineResult::kSkipped;

    const size_t addressLength = static_cast<size_t>(type - '0') + 1;
    if (count < addressLength + 1) return bad("byte count too small for the address");
    // Count, address, data and checksum: the sum of all of them is 0xFF modulo 256.
    uint8_t bytes[256];
    if (!decodeHex(table, text.data() + 4, count, bytes)) return bad("not a hexadecimal digit");
    unsigned sum = count;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    if ((sum & 0xFF) != 0xFF) {
        const unsigned found = bytes[count - 1];
        const unsigned wanted = ~(sum - found) & 0xFF;
        char text[64];
        std::snprintf(text, sizeof text, "bad checksum 0x%02X, the record needs 0x%02X", found,
                      wanted);
        return bad(text);
    }

    uint32_t address = 0;
    for (size_t i = 0; i < addressLength; ++i) address = (address << 8) | bytes[i];
    record.type = static_cast<uint8_t>(type - '0');
    record.address = address;
    record.length = static_cast<uint8_t>(count - addressLength - 1);
    std::memcpy(record.data, bytes + addressLength, record.length);
    return LineResult::kRecord;
}

SRecordReader::SRecordReader(const SRecordLineRules& rules)
    : rules_(rules), buffer_(new char[kChunk]) {}

SRecordReader::~SRecordReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool SRecordReader::open(const char* path) {
    if (fd_ >= 0) ::close(fd_);
    begin_ = end_ = 0;
    eof_ = false;
    consumed_ = size_ = line_ = 0;
    problem_.clear();
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        problem_ = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
        size_ = static_cast<uint64_t>(info.st_size);
    return true;
}

SRecordReader::LineStatus SRecordReader::nextLine(std::string_view& line) {
    if (fd_ < 0) return LineStatus::kReadError;
    for (;;) {
        char* const first = buffer_.get() + begin_;
        const size_t pending = end_ - begin_;
        auto* newline = static_cast<char*>(std::memchr(first, '\n', pending));
        if (newline || (eof_ && pending > 0)) {
            const size_t length = newline ? static_cast<size_t>(newline - first) : pending;
            const size_t taken = newline ? length + 1 : length;
            begin_ += taken;
            consumed_ += taken;
            ++line_;
            line = std::string_view(first, length);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            return LineStatus::kLine;
        }
        if (eof_) return LineStatus::kEnd;
        // Keep the unfinished line and fill the rest of the buffer behind it.
        if (begin_ > 0) {
            std::memmove(buffer_.get(), first, pending);
            begin_ = 0;
            end_ = pending;
        }
        if (end_ == kChunk) return LineStatus::kTooLong;
        const ssize_t n = ::read(fd_, buffer_.get() + end_, kChunk - end_);
        if (n < 0) {
            if (errno == EINTR) continue;
            problem_ = std::strerror(errno);
            return LineStatus::kReadError;
        }
        if (n == 0) {
            eof_ = true;
        } else {
            end_ += static_cast<size_t>(n);
        }
    }
}

SRecordReader::Status SRecordReader::next(SRecord& record) {
    for (;;) {
        std::string_view line;
        switch (nextLine(line)) {
            case LineStatus::kEnd:
                return Status::kEnd;
            case LineStatus::kTooLong:
                problem_ = "line " + std::to_string(line_ + 1) + ": line too long";
                return Status::kBadRecord;
            case LineStatus::kReadError:
                return Status::kReadError;
            case LineStatus::kLine:
                break;
        }
        std::string why;
        switch (parseSRecordLine(line, rules_, record, &why)) {
            case LineResult::kError:
                problem_ = "line " + std::to_string(line_) + ": " + why;
                return Status::kBadRecord;
            case LineResult::kSkipped:
                break;
            case LineResult::kRecord:
                if (record.length > 0) return Status::kRecord;
                break;
        }
    }
}

}  // namespace tov::files

// Motorola S-record input: the parser of one line under a caller's line rules, and a streaming
// reader that hands out the data records of a file without allocating per line or record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tov::files {

// How the lines of one kind of S-record file are judged.
struct SRecordLineRules {
    // A line whose first character is below '!' is skipped; otherwise it is judged as a record.
    bool skipBlankLines = true;
    // The record starts at the first 'S' of the line (a line without one is an error); otherwise
    // the line itself must start with 'S'.
    bool recordAtFirstS = false;
    // Only '0'-'9' and 'A'-'F' are hexadecimal digits; otherwise 'a'-'f' as well.
    bool upperCaseOnly = false;
    // Longest line accepted, line end not counted; 0 accepts any line the reader can hold.
    size_t maxLineLength = 0;
    // The record must end exactly at the line end (no characters after the checksum).
    bool exactLength = false;
};

// The rules of files loaded into or verified against target memory.
inline constexpr SRecordLineRules kLoadLineRules{true, false, false, 519, false};

// One S1, S2 or S3 record: its address and data.
struct SRecord {
    static constexpr size_t kMaxData = 252;  // byte count 255 less a 2-byte address and checksum

    uint8_t type = 0;  // 1, 2 or 3
    uint32_t address = 0;
    uint8_t length = 0;
    uint8_t data[kMaxData];
};

enum class LineResult {
    kRecord,   // an S1, S2 or S3 record with a valid checksum (it may carry no data)
    kSkipped,  // a blank line or a record of another type
    kError,    // anything else
};

// Parses one line (without its line end) into `record`.
LineResult parseSRecordLine(std::string_view line, const SRecordLineRules& rules, SRecord& record);
// The same, saying in `problem` (when given) what is wrong with a line that is an error.
LineResult parseSRecordLine(std::string_view line, const SRecordLineRules& rules, SRecord& record,
                            std::string* problem);

// Reads a file in large chunks and hands out its records that carry data, in file order.
class SRecordReader {
public:
    enum class Status { kRecord, kEnd, kBadRecord, kReadError };

    explicit SRecordReader(const SRecordLineRules& rules = kLoadLineRules);
    ~SRecordReader();
    SRecordReader(const SRecordReader&) = delete;
    SRecordReader& operator=(const SRecordReader&) = delete;

    // Opens the file; false when it cannot be opened.
    bool open(const char* path);
    // The next record with data; blank lines, other record types and empty records are passed.
    Status next(SRecord& record);

    // Bytes of the file taken up to the end of the last line handed out, and the file's size.
    uint64_t consumed() const { return consumed_; }
    uint64_t size() const { return size_; }
    // The 1-based number of the last line looked at.
    uint64_t lineNumber() const { return line_; }
    // Why open() or next() failed: the system's reason, or the line number and what is wrong.
    const std::string& problem() const { return problem_; }

private:
    enum class LineStatus { kLine, kEnd, kTooLong, kReadError };
    static constexpr size_t kChunk = 64 * 1024;

    LineStatus nextLine(std::string_view& line);

    SRecordLineRules rules_;
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    size_t begin_ = 0;  // first byte not yet handed out
    size_t end_ = 0;    // end of the bytes read into the buffer
    bool eof_ = false;
    uint64_t consumed_ = 0;
    uint64_t size_ = 0;
    uint64_t line_ = 0;
    std::string problem_;
};

}  // namespace tov::files

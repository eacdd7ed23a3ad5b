// Motorola S-record output: record formatting and a buffered file writer for memory dumps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tov::files {

// The data record type (1, 2 or 3) whose address field holds `lastAddress`.
uint8_t recordTypeFor(uint64_t lastAddress);

// Longest formatted record: 'S', type, count, 4-byte address, data, checksum, line feed.
constexpr size_t kMaxRecordText = 4 + 2 * 255 + 1;
// Most data bytes one record of `type` can carry.
constexpr size_t maxRecordData(uint8_t type) {
    return 255 - (type + 1u) - 1;
}

// Formats one record of `type` (1, 2 or 3) with upper-case digits and a line feed into `out`
// (at least kMaxRecordText bytes); returns the text length. `length` is at most
// maxRecordData(type).
size_t formatSRecord(uint8_t type, uint32_t address, const uint8_t* data, size_t length, char* out);

// Writes records into a file through a large buffer.
class SRecordWriter {
public:
    SRecordWriter();
    ~SRecordWriter();
    SRecordWriter(const SRecordWriter&) = delete;
    SRecordWriter& operator=(const SRecordWriter&) = delete;

    // Creates (or empties) the file; false when it cannot be created.
    bool create(const char* path);
    // Appends one record; false once the file has refused bytes.
    bool write(uint8_t type, uint32_t address, const uint8_t* data, size_t length);
    // Writes what is buffered and closes the file; false when bytes were lost.
    bool close();

private:
    static constexpr size_t kBuffer = 64 * 1024;

    bool flush();

    int fd_ = -1;
    bool failed_ = false;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
};

}  // namespace tov::files

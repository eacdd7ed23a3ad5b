// Motorola S-record output: record formatting and a buffered file writer for memory dumps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

// Writes records into a file through a large buffer. A regular file (new or existing) is written
// as a temporary file beside it (unnamed where the file system allows, so that nothing is left
// should the process be ended) and renamed over it only by a successful close(), so a dump that
// fails half-way leaves what was there before. An existing file beside which no temporary file
// can be made is refused; a new one is then written directly and removed again on failure.
// Other files (devices, pipes) are written directly.
class SRecordWriter {
public:
    SRecordWriter();
    ~SRecordWriter();
    SRecordWriter(const SRecordWriter&) = delete;
    SRecordWriter& operator=(const SRecordWriter&) = delete;

    // Starts the file; false when it cannot be created (the reason is in error()).
    bool create(const char* path);
    // Appends one record; false once the file has refused bytes.
    bool write(uint8_t type, uint32_t address, const uint8_t* data, size_t length);
    // Writes what is buffered and puts the file in place; false when bytes were lost.
    bool close();
    // Gives up the file: a temporary file is removed and the target left as it was.
    void discard();
    // The system's reason for the last failure, with the path it concerns.
    const std::string& error() const { return error_; }

    // The file a dump into `path` replaces: `path`, or the file its links name.
    static std::string replacedFile(const char* path);
    // The named temporary file this process uses for a dump into `target` (a replacedFile())
    // where the file system has no unnamed files; a caller removes it should it be ended.
    static std::string processTemporary(const std::string& target);

private:
    static constexpr size_t kBuffer = 64 * 1024;

    bool flush();
    bool fail(const std::string& path);
    // Gives the unnamed temporary file a free name beside the target, for the rename.
    bool nameUnnamed();

    int fd_ = -1;
    bool failed_ = false;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    std::string target_;          // the path the records are meant for
    std::string temporary_;       // where they are written until close(); empty when direct
    bool createdTarget_ = false;  // written directly into a file that did not exist before
    bool unnamed_ = false;        // the temporary file has no name until close()
    std::string error_;
};

}  // namespace tov::files

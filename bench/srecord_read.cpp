// Reads an S-record file with the library's reader and prints the data bytes, the time and
// the throughput over the file's size: the host side of the S-record reading benchmark.
#include <chrono>
#include <cstdio>

#include "files/srecord_reader.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: srecord_read FILE\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    tov::files::SRecordReader reader;
    if (!reader.open(argv[1])) {
        std::fprintf(stderr, "srecord_read: cannot open %s\n", argv[1]);
        return 1;
    }
    tov::files::SRecord record;
    uint64_t data = 0, checksum = 0;
    tov::files::SRecordReader::Status status;
    while ((status = reader.next(record)) == tov::files::SRecordReader::Status::kRecord) {
        data += record.length;
        checksum += record.address + record.data[0];
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (status != tov::files::SRecordReader::Status::kEnd) {
        std::fprintf(stderr, "srecord_read: %s is not a valid S-record file\n", argv[1]);
        return 1;
    }
    std::printf("%llu data bytes from %.1f MB in %.3f s: %.1f MB/s (check %llu)\n",
                static_cast<unsigned long long>(data), static_cast<double>(reader.size()) / 1e6,
                seconds, static_cast<double>(reader.size()) / 1e6 / seconds,
                static_cast<unsigned long long>(checksum));
    return 0;
}

// Program images in other formats than S-records: ELF executables (their loadable segments at
// their physical addresses), Intel HEX files and raw binaries at a given address, the format
// recognised from the content; and their conversion into an S-record file for the loading and
// flash functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tov::files {

enum class ImageFormat { SRecord, IntelHex, Elf, Unknown };

struct ImageSegment {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

// What the first bytes of the file say it is (Unknown also when it cannot be read). Anything
// Unknown is taken as a raw binary, which needs an address to be loaded at.
ImageFormat imageFormat(const std::string& path);

// Reads an ELF or Intel HEX file into its segments. False with `error` naming the file and the
// place ("FILE: line 3: ...", "FILE: segment 2: ...") for a malformed file.
bool readImage(const std::string& path, ImageFormat format, std::vector<ImageSegment>& segments,
               std::string& error);
bool readIntelHex(const std::string& path, std::vector<ImageSegment>& segments,
                  std::string& error);
bool readElf(const std::string& path, std::vector<ImageSegment>& segments, std::string& error);
// The whole file as one segment at `base`; false with `error` naming the file when it cannot be
// read, is empty or runs past the 32-bit address space.
bool readBinary(const std::string& path, uint32_t base, std::vector<ImageSegment>& segments,
                std::string& error);

// Writes the segments as an S-record file (data records and no start record); false when the
// file cannot be written.
bool writeSRecords(const std::string& path, const std::vector<ImageSegment>& segments);

}  // namespace tov::files

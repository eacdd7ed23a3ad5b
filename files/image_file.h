// Program images read into memory: S-record, Intel HEX and ELF files (the allocated sections
// with contents when the file has section headers, else its loadable segments, at their
// physical addresses) and raw binaries at a given address, the format recognised from the
// content or forced. Every image is checked whole before anything is sent: no two pieces of data
// over the same byte, nothing past address 0xFFFFFFFF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tov::files {

enum class ImageFormat { SRecord, IntelHex, Elf, Unknown };

struct ImageSegment {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

// The most data bytes one image may hold; a larger file is refused rather than read.
inline constexpr uint64_t kMaxImageBytes = 256ull << 20;

// What the first bytes of the file say it is (Unknown also when it cannot be read). Anything
// Unknown is taken as a raw binary, which needs an address to be loaded at.
ImageFormat imageFormat(const std::string& path);

// How to read one image file.
struct ImageRequest {
    std::optional<ImageFormat> format;  // forced; nullopt: recognised (Unknown is a raw binary)
    uint32_t offset = 0;                // added to every address of the file
    std::optional<uint32_t> base;       // address of a raw binary's first byte
};

struct Image {
    ImageFormat format = ImageFormat::Unknown;  // the format read (Unknown: a raw binary)
    std::vector<ImageSegment> segments;         // file order, neighbours merged, offset added
    uint64_t dataBytes = 0;
};

// Reads and checks a whole image file. False with `error` naming the file and, for a malformed
// file, the place ("FILE: line 3: ...", "FILE: segment 2: ...", or both ranges of overlapping
// data). A raw binary needs a base; a recognised format with addresses of its own refuses one.
bool readImage(const std::string& path, const ImageRequest& request, Image& image,
               std::string& error);

// The readers of the formats, without offset, base and overlap checks. The S-record reader
// leaves the file name out of `error` (callers put it with the library's file error text).
bool readSRecords(const std::string& path, std::vector<ImageSegment>& segments, std::string& error);
bool readIntelHex(const std::string& path, std::vector<ImageSegment>& segments, std::string& error);
bool readElf(const std::string& path, std::vector<ImageSegment>& segments, std::string& error);
// The whole file as one segment at `base`; false with `error` naming the file when it cannot be
// read, is empty or runs past the 32-bit address space.
bool readBinary(const std::string& path, uint32_t base, std::vector<ImageSegment>& segments,
                std::string& error);

// The segments' bytes inside [base, base + size) and those outside it, each in file order.
void splitImage(const Image& image, uint32_t base, uint64_t size, Image& inside, Image& outside);

// The first pair of segments sharing a byte, as "0x...-0x... overlaps 0x...-0x..."; empty when
// none do.
std::string findOverlap(const std::vector<ImageSegment>& segments);

}  // namespace tov::files

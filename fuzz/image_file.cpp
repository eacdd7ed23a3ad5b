// Fuzzes the ELF, Intel HEX and raw binary readers: a malformed file is refused with a message
// naming it, and the segments of an accepted file stay within the 32-bit address space.
#include <string>
#include <vector>

#include "files/image_file.h"
#include "fuzz/support/check.h"
#include "fuzz/support/memory_file.h"

using namespace tov::files;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tov::fuzz::MemoryFile file(data, size);
    imageFormat(file.path());
    for (ImageFormat format : {ImageFormat::SRecord, ImageFormat::IntelHex, ImageFormat::Elf}) {
        Image image;
        std::string error;
        if (readImage(file.path(), {.format = format, .offset = 0x10, .base = std::nullopt}, image, error)) {
            FUZZ_CHECK(findOverlap(image.segments).empty());
            for (const ImageSegment& segment : image.segments) {
                FUZZ_CHECK(segment.bytes.size() <= 0x100000000ull - segment.address);
            }
        } else {
            FUZZ_CHECK(error.find(file.path()) != std::string::npos);
        }
    }
    // A raw binary near the top of the address space must be refused rather than wrap.
    std::vector<ImageSegment> segments;
    std::string error;
    const uint32_t base = 0xFFFFFF00u;
    if (readBinary(file.path(), base, segments, error)) {
        FUZZ_CHECK(segments.size() == 1 && segments[0].bytes.size() == size);
        FUZZ_CHECK(size <= 0x100u);
    }
    return 0;
}

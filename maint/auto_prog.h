// Automatic programming jobs of paged 16-bit targets: a job stored in the probe's own flash (a
// 128-byte record, the target's init entries, a program image and a small second image) that the
// probe runs by itself, without a host.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "maint/loader_link.h"

namespace tov::maint {

// Where the job lives in the probe's flash.
inline constexpr uint32_t kAutoProgRecordAddress = 0x00086000;
inline constexpr uint32_t kAutoProgEntriesAddress = 0x00086400;
inline constexpr uint32_t kAutoProgSecondAddress = 0x00087000;
inline constexpr uint32_t kAutoProgImageAddress = 0x000C0000;
inline constexpr uint32_t kAutoProgImageSecondSector = 0x000E0000;
inline constexpr size_t kAutoProgRecordSize = 128;
inline constexpr size_t kAutoProgImageSize = 256 * 1024;
inline constexpr size_t kAutoProgSecondSize = 4 * 1024;
inline constexpr size_t kAutoProgEntrySize = 12;
inline constexpr uint16_t kPagedTypeFlag = 0x8000;

using AutoProgEntry = std::array<uint32_t, 3>;
using AutoProgRecord = std::array<uint8_t, kAutoProgRecordSize>;

// Everything a job is made of. The meaning of b..h and of the entries is the probe's; they are
// stored as given.
struct AutoProgJob {
    uint16_t type = 0;  // target type; bit 15: the program file holds paged CPU addresses
    uint16_t b = 0;
    uint16_t c = 0;
    uint16_t d = 0;
    std::span<const AutoProgEntry> entries;
    uint8_t e = 0;
    uint8_t f = 0;
    const char* programPath = nullptr;  // nullptr or empty: no program image
    uint8_t g = 0;
    uint8_t h = 0;
    const char* secondPath = nullptr;  // nullptr or empty: no second image
};

// A program file laid out for the probe: the whole 256-KB image and the stretch that holds data
// (start rounded down, end rounded up to 4 bytes).
struct AutoProgImage {
    std::vector<uint8_t> bytes;
    uint32_t start = 0;
    uint32_t end = 0;
};

// The address bits a target type keeps of a program file address.
uint32_t autoProgAddressMask(uint16_t type);

// Reads the program file: 0, or -1207 for a file that cannot be read, a bad record or data
// beyond 256 KB. With bit 15 of the type, windowed addresses are translated to linear flash
// addresses of a flash as large as the type's mask; a record below 0x4000 continues the 16-KB
// page of the last translated record, and before any translated record it stays where it is
// (masked).
int32_t readAutoProgImage(const char* path, uint16_t type, AutoProgImage& image);

// Reads the second file into a 4-KB image (addresses masked per type): 0 or -1207.
int32_t readAutoProgSecond(const char* path, uint16_t type, std::vector<uint8_t>& image);

// The 128-byte record for a job whose program image spans [imageStart, imageStart + length).
AutoProgRecord buildAutoProgRecord(const AutoProgJob& job, uint32_t imageStart,
                                   uint32_t imageLength, bool hasSecond);

// Stores the job: reads both files (nothing is sent when one is bad), connects, erases the
// record's sector, programs the images, the entries and last the record, each checked by reading
// back. Returns 0 or the first error (-1202 for type 13, -1207, -1208, -1209, -1210, -1205 or a
// transport code); the link is closed on every way out.
// `progress` hears the image bytes programmed so far out of all to program.
using AutoProgProgress = std::function<void(uint64_t done, uint64_t total)>;
int32_t enableAutoProg(LoaderLink& link, const AutoProgJob& job,
                       const AutoProgProgress& progress = {});

// Erases the record's sector, which removes the job: 0 or an error; the link is closed after.
int32_t disableAutoProg(LoaderLink& link);

}  // namespace tov::maint

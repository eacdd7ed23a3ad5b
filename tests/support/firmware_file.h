// Test data: firmware S-record files as a probe maker ships them, for the loader and the update.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tov::test {

// Where a model's firmware goes and how its file addresses it.
struct FirmwareTarget {
    uint32_t markerAddress;  // the image starts here; its first four bytes are the start marker
    uint32_t imageEnd;       // first address after the firmware sectors
};

// "B", "BC", "A" or "X"; anything else is the TOV-B.
FirmwareTarget firmwareTarget(std::string_view model);

// What was written, so a test can check what the probe holds afterwards.
struct FirmwareFile {
    std::string path;
    uint16_t versionWord = 0;
    uint32_t start = 0;          // address of the first data byte (marker address + 4)
    std::vector<uint8_t> image;  // the bytes from `start` on, as the records carry them
};

// Writes DIR/BASE.VVV (VVV the three-digit file version): an S0 header naming the file, data
// records of 32 bytes from the marker address + 4 on, the first two data bytes being the
// firmware version word (`firmwareBase` + `fileVersion`, big-endian) and the next two 0xFF,
// then `codeSize` bytes of pseudo-random code, and the end record. Addresses above 24 bits use
// S3 records and an S7 end, others S2 and S8. The marker itself is not in the file: the host
// programs it after the last record. DIR must exist.
FirmwareFile writeFirmwareFile(const std::string& dir, const std::string& baseName,
                               unsigned fileVersion, uint16_t firmwareBase, std::string_view model,
                               size_t codeSize = 160 * 1024, uint32_t seed = 1);

// One S-record line (without line end) of type 0-9 for an address and data.
std::string sRecordLine(unsigned type, uint32_t address, const std::vector<uint8_t>& data);

// Data records of `type` (1-3) carrying `data` from `address` on, `perRecord` bytes each, one
// line each with its line end.
std::string sRecordText(unsigned type, uint32_t address, const std::vector<uint8_t>& data,
                        size_t perRecord = 32);

}  // namespace tov::test

// Firmware and JEDEC files the simulated probe accepts through the update: what `tovsim
// --write-update-files` writes for a user to try, and what the tests build their files with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_options.h"

namespace tov::sim {

// Where a model's firmware goes and how its file addresses it.
struct FirmwareTarget {
    uint32_t markerAddress;  // the image starts here; its first four bytes are the start marker
    uint32_t imageEnd;       // first address after the firmware sectors
};

// "B", "BC", "A" or "X"; anything else is the TOV-B.
FirmwareTarget firmwareTarget(std::string_view model);

// What was written, so a caller can check what the probe holds afterwards.
struct FirmwareFile {
    std::string path;
    uint16_t versionWord = 0;
    uint32_t start = 0;          // address of the first data byte (marker address + 4)
    std::vector<uint8_t> image;  // the bytes from `start` on, as the records carry them
    bool written = false;        // the whole file reached the disk
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

// Rows of '0'/'1' characters in a pattern that differs from row to row and from seed to seed.
std::vector<std::string> fuseRows(size_t rows, size_t rowLength, uint32_t seed);

// Cuts each row into `linesPerRow` lines of equal length (the last takes the rest).
std::vector<std::string> fuseLines(const std::vector<std::string>& rows, size_t linesPerRow);

// The fuse checksum of a JEDEC file: fuses taken 8 at a time (first fuse in the lowest bit) as
// bytes, summed modulo 65536.
uint16_t fuseChecksum(const std::vector<std::string>& rows);

// What goes around the fuse lines.
struct JedecFrame {
    std::string startLine = "*L00000";  // the line the fuse list begins after
    std::string lineEnd = "\n";
    bool withHeader = true;   // STX, title, notes, pin and fuse counts, default fuse state
    bool withTrailer = true;  // fuse checksum, end of fields, ETX and transmission checksum
};

// A whole JEDEC file with `lines` as its fuse lines, taken as they stand. The fuse count and the
// checksum cover the leading '0'/'1' runs of the lines.
std::string jedecText(const std::vector<std::string>& lines, const JedecFrame& frame = {});

// Writes `text` to `path` as it stands; returns the path.
std::string writeTextFile(const std::string& path, std::string_view text);

// The file base names the host looks for when it updates `family` on `model`.
struct UpdateFileNames {
    std::string firmware;
    std::string logic;
};
std::optional<UpdateFileNames> updateFileNames(uint8_t family, ProbeModel model);

// What `tovsim --write-update-files` writes: the firmware and the JEDEC file of one family,
// model and pair of versions (1..255 each).
struct UpdateFilesRequest {
    std::string dir;
    ProbeModel model = ProbeModel::B;
    uint8_t family = 40;
    unsigned firmwareVersion = 106;
    unsigned logicVersion = 4;
};
struct WrittenUpdateFiles {
    std::string firmwarePath;
    std::string logicPath;
    std::string error;  // empty when both files were written
};
// Makes the directory when it does not exist; an existing file of the same name is replaced.
WrittenUpdateFiles writeUpdateFiles(const UpdateFilesRequest& request);

}  // namespace tov::sim

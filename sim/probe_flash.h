// The probe's own flash memory per model: sector maps, erase, program, read back, the firmware
// image's header (start marker and version record), the stored setup, and the factory image.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/firmware_info.h"
#include "sim/sim_options.h"

namespace tov::sim {

// Where things live in one model's flash. Sector maps (all sizes in KiB):
//   TOV-X, TOV-A  0x00080000-0x000FFFFF: 16 (loader), 8, 8, 32, 64, 128, 128, 128
//                 (sector starts 0x80000 0x84000 0x86000 0x88000 0x90000 0xA0000 0xC0000 0xE0000)
//   TOV-B, Rev.C  0x01000000-0x010FFFFF: 32 (loader), 16, 16, 64, 128, 256, 256, 256
//                 (0x1000000 0x1008000 0x100C000 0x1010000 0x1020000 0x1040000 0x1080000
//                  0x10C0000)
// The first sector holds the loader and is write-protected. The firmware lives from the start
// marker address to the end of the flash; the setup sector is the first sector the firmware
// update erases (TOV-X 0x84000, TOV-B 0x100C000, TOV-A 0x86000); the network record has a
// sector of its own (TOV-B 0x1008000, TOV-A 0x84000; none on the TOV-X).
struct ProbeFlashLayout {
    uint32_t base;
    std::vector<uint32_t> sectorSizes;  // from the base upward
    std::array<uint32_t, 4> firmwareSectors;
    uint32_t markerAddress;
    uint32_t setupAddress;
    std::optional<uint32_t> networkAddress;
    bool wordProgramming;  // Program flash counts 16-bit words (TOV-X), else bytes

    uint32_t size() const;
    uint32_t end() const { return base + size(); }
};

const ProbeFlashLayout& probeFlashLayout(ProbeModel model);

// The firmware image starts at the start marker address with an eight-byte header:
//   +0  the start marker AA 55 55 AA, programmed after everything else
//   +4  the firmware version word, u16 big-endian (family and version, as Read versions reports)
//   +6  two bytes 0xFF
// and the firmware's code follows from +8. A firmware file therefore carries no data for the
// first four bytes and puts its version word at marker address + 4.
inline constexpr std::array<uint8_t, 4> kStartMarker{0xAA, 0x55, 0x55, 0xAA};
inline constexpr uint32_t kVersionRecordOffset = 4;
inline constexpr uint32_t kFirmwareCodeOffset = 8;

// The setup block at the start of the setup sector: magic u32 at 0, setup time u32 at 4, the
// setup identifier from offset 88 (at most 40 bytes, ended by 0x00 or 0xFF).
inline constexpr uint32_t kSetupMagic = 0xCFE801CF;
inline constexpr uint32_t kSetupTimeOffset = 4;
inline constexpr uint32_t kSetupIdOffset = 88;
inline constexpr uint32_t kSetupBlockSize = 128;

// Answer status of the flash requests: 0 done, anything else refused with nothing changed.
enum class FlashStatus : uint8_t {
    Done = 0,
    OutOfRange = 1,  // the address range leaves the flash
    NotErased = 2,   // a bit would have to go from 0 to 1
    Malformed = 3,   // the request's length or alignment does not fit
    Protected = 4,   // the loader's own sector
};

// The flash of one probe; all addresses are in the probe's own address space.
class ProbeFlash {
public:
    explicit ProbeFlash(ProbeModel model);

    ProbeModel model() const { return model_; }
    const ProbeFlashLayout& layout() const { return *layout_; }

    // Erases the sector that holds the address (every byte 0xFF).
    FlashStatus eraseSector(uint32_t address);
    // Programs bytes: a bit can only go from 1 to 0; a request that needs a 0 to become 1
    // anywhere changes nothing. Word-programmed flash takes an even address and length.
    FlashStatus program(uint32_t address, std::span<const uint8_t> data);
    // The bytes at [address, address + length), or nothing when the range leaves the flash.
    std::optional<std::vector<uint8_t>> read(uint32_t address, size_t length) const;
    bool contains(uint32_t address, size_t length) const;
    // The start address of the sector holding the address (the address must be in the flash).
    uint32_t sectorStart(uint32_t address) const;
    uint32_t sectorSize(uint32_t address) const;

    bool startMarkerPresent() const;
    // The version word of the image's version record (0xFFFF when none was programmed).
    uint16_t firmwareVersionWord() const;
    // The setup block's time and identifier; nothing stored (no magic) is time 0 and no id.
    StoredSetup storedSetup() const;

    // The whole array, for persistence; replace() takes an array of exactly size() bytes.
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    bool replace(std::vector<uint8_t> bytes);

private:
    ProbeModel model_;
    const ProbeFlashLayout* layout_;
    std::vector<uint8_t> bytes_;
};

// Identity and versions a probe leaves the factory with.
struct FactoryIdentity {
    uint16_t loaderVersion;
    std::string serial;  // 8 characters (TOV-A, TOV-B); on the Rev.C two more ending in 'C'
};
FactoryIdentity factoryIdentity(ProbeModel model);

// A flash as shipped: loader area, a firmware image with version word `firmwareWord` and the
// start marker, an erased setup sector, and on the TOV-A and TOV-B a network record derived from
// the serial number (192.168.1.100, mask 255.255.255.0, gateway 192.168.1.1).
ProbeFlash factoryFlash(ProbeModel model, uint16_t firmwareWord);

// The 20-byte network record for a serial number and three addresses.
std::vector<uint8_t> networkRecord(const std::string& serial, uint32_t ip, uint32_t mask,
                                   uint32_t gateway);

}  // namespace tov::sim

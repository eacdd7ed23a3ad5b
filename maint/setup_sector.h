// The setup the probe's firmware starts the target with, as it lies in the probe's setup
// sector: a 128-byte setup block and 12-byte init entries; their encoding, the writer and the
// reader over the loader's flash requests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "maint/loader_link.h"

namespace tov::maint {

inline constexpr uint32_t kSetupSectorAddress = 0x0100C000;
inline constexpr uint32_t kSetupSectorEnd = 0x01010000;  // one past the sector's last byte
inline constexpr uint32_t kInitEntriesAddress = 0x0100C400;
inline constexpr uint32_t kSetupBlockMagic = 0xCFE801CF;
inline constexpr size_t kSetupBlockSize = 128;
inline constexpr size_t kInitEntrySize = 12;
// Entries that fit between the entry area's start and the end of the sector.
inline constexpr size_t kMaxInitEntries =
    (kSetupSectorEnd - kInitEntriesAddress) / kInitEntrySize;
// The identifier written for an empty one, and the most characters kept of any.
inline constexpr const char* kNoSetupId = "<No setup ID>";
inline constexpr size_t kMaxSetupIdChars = 39;

// The setup block's fields; the one-byte fields keep the low 8 bits of what they are given.
struct SetupBlock {
    uint32_t time = 0;  // seconds since 1970-01-01 UTC
    uint32_t lineRate = 0;
    uint32_t workspace = 0xFFFFFFFF;
    uint16_t runTime = 0;
    uint8_t cpuType = 0;
    uint8_t startupMode = 0;
    uint8_t breakMode = 0;
    uint8_t trapMask = 0;
    uint8_t jtagClock = 0;
    uint8_t bigEndian = 0;
    uint8_t scanPredCount = 0;
    uint8_t scanPredIrLength = 0;
    uint8_t scanSuccCount = 0;
    uint8_t scanSuccIrLength = 0;
    std::string setupId;
    bool operator==(const SetupBlock&) const = default;
};

// One init step: item type, address (or register number), value (or milliseconds).
struct InitEntry {
    uint32_t type = 0;
    uint32_t address = 0;
    uint32_t value = 0;
    bool operator==(const InitEntry&) const = default;
};

using SetupBlockBytes = std::array<uint8_t, kSetupBlockSize>;
using InitEntryBytes = std::array<uint8_t, kInitEntrySize>;

// The block's bytes: 0xFF filled, big-endian fields, the identifier cut to 39 characters and
// ended by 0x00 ("<No setup ID>" for an empty one).
SetupBlockBytes encodeSetupBlock(const SetupBlock& block);
// The fields of stored block bytes; nothing when the magic is missing.
std::optional<SetupBlock> decodeSetupBlock(std::span<const uint8_t, kSetupBlockSize> bytes);
InitEntryBytes encodeInitEntry(const InitEntry& entry);
InitEntry decodeInitEntry(std::span<const uint8_t, kInitEntrySize> bytes);

// Writes a setup into the sector of a running probe over a connection the caller holds: erases
// the sector, programs and reads back each entry, then the block (only if all went well). 0 or
// the first error (-1205, -1208, -1209, -1210 or a link code). Refuses more entries than the
// sector holds (-1202) before erasing anything.
int32_t writeSetupSector(LoaderLink& link, const SetupBlock& block,
                         std::span<const InitEntry> entries);

// What a probe holds in its setup sector: the block (nothing without the magic) and the entries
// up to the first erased one.
struct StoredSetupSector {
    std::optional<SetupBlock> block;
    std::vector<InitEntry> entries;
};
// Reads the setup sector of a running probe: 0 or an error code.
int32_t readSetupSector(LoaderLink& link, StoredSetupSector& out);

}  // namespace tov::maint

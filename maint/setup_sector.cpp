// Setup block and init entry encoding, and the writer and reader of the probe's setup sector.
#include "maint/setup_sector.h"

#include <algorithm>

#include "link/error_codes.h"
#include "maint/loader_requests.h"
#include "link/message.h"

namespace tov::maint {
namespace {

using link::AnswerView;
using link::RequestBuilder;

constexpr size_t kSetupIdOffset = 88;
constexpr size_t kOneByteFieldsOffset = 18;
static_assert(kSetupIdOffset + kMaxSetupIdChars < kSetupBlockSize, "the identifier's end mark fits");

// Programs `bytes` at `address` and reads them back: 0, the request's error or -1210.
int32_t programAndVerify(LoaderLink& link, uint32_t address, std::span<const uint8_t> bytes) {
    int32_t result =
        programFlash(link, address, static_cast<uint16_t>(bytes.size()), bytes);
    if (result != link::kOk) return result;
    std::array<uint8_t, kSetupBlockSize> back;
    const auto readBack = std::span(back).first(bytes.size());
    result = readFlash(link, address, readBack);
    if (result != link::kOk) return result;
    return std::equal(bytes.begin(), bytes.end(), readBack.begin()) ? link::kOk
                                                                    : link::kVerifyFailed;
}

bool erased(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

}  // namespace

SetupBlockBytes encodeSetupBlock(const SetupBlock& block) {
    SetupBlockBytes bytes;
    bytes.fill(0xFF);
    RequestBuilder(bytes)
        .u32(kSetupBlockMagic)
        .u32(block.time)
        .u32(block.lineRate)
        .u32(block.workspace)
        .u16(block.runTime)
        .u8(block.cpuType)
        .u8(block.startupMode)
        .u8(block.breakMode)
        .u8(block.trapMask)
        .u8(block.jtagClock)
        .u8(block.bigEndian)
        .u8(block.scanPredCount)
        .u8(block.scanPredIrLength)
        .u8(block.scanSuccCount)
        .u8(block.scanSuccIrLength);
    const std::string id = block.setupId.empty() ? std::string(kNoSetupId) : block.setupId;
    const size_t n = std::min(id.size(), kMaxSetupIdChars);
    std::copy_n(id.begin(), n, bytes.begin() + kSetupIdOffset);
    bytes[kSetupIdOffset + n] = 0x00;
    return bytes;
}

std::optional<SetupBlock> decodeSetupBlock(std::span<const uint8_t, kSetupBlockSize> bytes) {
    const AnswerView view(bytes);
    if (view.u32(0) != kSetupBlockMagic) return std::nullopt;
    SetupBlock block;
    block.time = view.u32(4);
    block.lineRate = view.u32(8);
    block.workspace = view.u32(12);
    block.runTime = view.u16(16);
    uint8_t* fields[] = {&block.cpuType,          &block.startupMode,   &block.breakMode,
                         &block.trapMask,         &block.jtagClock,     &block.bigEndian,
                         &block.scanPredCount,    &block.scanPredIrLength, &block.scanSuccCount,
                         &block.scanSuccIrLength};
    for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = view.u8(kOneByteFieldsOffset + i);
    // The field holds at most 39 characters and their end mark; a sector whose 40th byte is
    // neither 0x00 nor 0xFF was not written by a sound writer, and its identifier is read no
    // longer than one would store.
    for (size_t i = kSetupIdOffset; i < kSetupIdOffset + kMaxSetupIdChars && bytes[i] != 0x00 &&
                                    bytes[i] != 0xFF;
         ++i) {
        block.setupId.push_back(static_cast<char>(bytes[i]));
    }
    return block;
}

InitEntryBytes encodeInitEntry(const InitEntry& entry) {
    InitEntryBytes bytes;
    RequestBuilder(bytes).u32(entry.type).u32(entry.address).u32(entry.value);
    return bytes;
}

InitEntry decodeInitEntry(std::span<const uint8_t, kInitEntrySize> bytes) {
    const AnswerView view(bytes);
    return {view.u32(0), view.u32(4), view.u32(8)};
}

int32_t writeSetupSector(LoaderLink& link, const SetupBlock& block,
                         std::span<const InitEntry> entries) {
    if (entries.size() > kMaxInitEntries) return link::kInvalidParameter;
    int32_t result = eraseSector(link, kSetupSectorAddress);
    // The block goes in last, so a transfer that stops early leaves no valid magic behind.
    for (size_t i = 0; i < entries.size() && result == link::kOk; ++i) {
        const uint32_t address = kInitEntriesAddress + static_cast<uint32_t>(i * kInitEntrySize);
        result = programAndVerify(link, address, encodeInitEntry(entries[i]));
    }
    const SetupBlockBytes bytes = encodeSetupBlock(block);
    if (result == link::kOk) result = programAndVerify(link, kSetupSectorAddress, bytes);
    return result;
}

int32_t readSetupSector(LoaderLink& link, StoredSetupSector& out) {
    out = {};
    SetupBlockBytes bytes;
    int32_t result = readFlash(link, kSetupSectorAddress, bytes);
    if (result != link::kOk) return result;
    out.block = decodeSetupBlock(bytes);
    constexpr size_t kEntriesPerRead = kMaxReadFlash / kInitEntrySize;
    std::array<uint8_t, kEntriesPerRead * kInitEntrySize> chunk;
    while (out.entries.size() < kMaxInitEntries) {
        const size_t n = std::min(kEntriesPerRead, kMaxInitEntries - out.entries.size());
        const uint32_t address =
            kInitEntriesAddress + static_cast<uint32_t>(out.entries.size() * kInitEntrySize);
        result = readFlash(link, address, std::span(chunk).first(n * kInitEntrySize));
        if (result != link::kOk) return result;
        for (size_t i = 0; i < n; ++i) {
            const auto entry = std::span(chunk).subspan(i * kInitEntrySize).first<kInitEntrySize>();
            // The entries simply follow each other; the first erased one ends them.
            if (erased(entry)) return link::kOk;
            out.entries.push_back(decodeInitEntry(entry));
        }
    }
    return link::kOk;
}

}  // namespace tov::maint

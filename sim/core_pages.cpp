// Mapping target memory into the emulated core region by region, and keeping the device copies
// and the translated code in step with what the link changes.
#include "sim/core_pages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>

#include "sim/target_bus.h"

namespace tov::sim {
namespace {

constexpr uint32_t kPage = TargetMemory::kPageSize;
constexpr uint64_t kPages = MemoryStore::kSpace / kPage;

// The translation table's formats (the ARMv5 ones the core reads at reset): a first-level table
// of 4096 words, one per megabyte, aligned to its size; a second-level (coarse) table of 256
// words, one per page, for each megabyte whose pages differ.
constexpr uint32_t kFirstLevelBytes = 16 * 1024;
constexpr uint32_t kCoarseBytes = 1024;
constexpr uint32_t kPagesPerMegabyte = 256;
constexpr uint32_t kMegabytes = 4096;
// Descriptors: a section with full access; a coarse table; a small page with full access. A
// zero word is a fault. Access bits of zero, with the control register's R bit set, read only.
constexpr uint32_t kSectionFull = 0xC02;
constexpr uint32_t kSectionReadOnly = 0x002;
constexpr uint32_t kCoarseTable = 0x001;
constexpr uint32_t kPageFull = 0xFF2;
constexpr uint32_t kPageReadOnly = 0x002;

}  // namespace

void CorePages::Buffer::operator()(uint8_t* p) const {
    std::free(p);
}

CorePages::~CorePages() = default;

CorePages::Kind CorePages::kindOf(uint32_t page) const {
    if (!memory_.accessible(page, kPage)) return Kind::None;
    if (flash_.overlaps(page, kPage) || chip_.overlaps(page, kPage)) return Kind::Device;
    if (page >= TargetMemory::kRomFirst && page <= TargetMemory::kRomLast) return Kind::Rom;
    return Kind::Memory;
}

std::string CorePages::mapAll(uc_engine* uc) {
    if (!memory_.store()) return "no host memory for the target's address space";
    // Runs of pages of one kind make the regions.
    for (uint64_t page = 0; page < kPages;) {
        const Kind kind = kindOf(static_cast<uint32_t>(page * kPage));
        uint64_t end = page + 1;
        while (end < kPages && kindOf(static_cast<uint32_t>(end * kPage)) == kind) ++end;
        if (kind != Kind::None) {
            Region region;
            region.base = static_cast<uint32_t>(page * kPage);
            region.size = (end - page) * kPage;
            region.kind = kind;
            regions_.push_back(std::move(region));
        }
        page = end;
    }
    if (std::string error = mapTranslationTable(uc); !error.empty()) return error;
    for (Region& region : regions_) {
        uint8_t* bytes = memory_.store() + region.base;
        // With the MMU on, the table refuses writes to the read-only pages with an abort on the
        // writing instruction, which the emulator's own refusal would not give: they are mapped
        // writable then, the read-only megabyte as a copy too, so that a program that turns the
        // MMU off writes only the copies.
        const bool guarded = tableBase_.has_value();
        uint32_t protection = UC_PROT_READ | UC_PROT_EXEC;
        if (region.kind == Kind::Memory || guarded) protection = UC_PROT_ALL;
        if (region.kind == Kind::Device || (region.kind == Kind::Rom && guarded)) {
            region.copy.reset(static_cast<uint8_t*>(std::aligned_alloc(kPage, region.size)));
            if (!region.copy) return "no host memory for a copy of the flash";
            bytes = region.copy.get();
            TargetBus(memory_, flash_, chip_)
                .read(region.base, std::span<uint8_t>(bytes, region.size));
        }
        const uc_err err = uc_mem_map_ptr(uc, region.base, region.size, protection, bytes);
        if (err != UC_ERR_OK) return uc_strerror(err);
    }
    // What the link wrote before is in the store already, and nothing was translated yet.
    bool all = false;
    memory_.takeWrites(all);
    return {};
}

std::string CorePages::mapTranslationTable(uc_engine* uc) {
    // What each page allows: 0 nothing, 1 reading, 2 everything; the regions are in order.
    std::vector<uint8_t> access(kPages, 0);
    for (const Region& region : regions_) {
        const uint8_t allowed = region.kind == Kind::Memory ? 2 : 1;
        std::fill_n(access.begin() + region.base / kPage, region.size / kPage, allowed);
    }
    auto uniform = [&](uint32_t megabyte) {
        const auto first = access.begin() + megabyte * kPagesPerMegabyte;
        return std::all_of(first, first + kPagesPerMegabyte,
                           [&](uint8_t a) { return a == *first; });
    };
    uint32_t mixed = 0;
    for (uint32_t m = 0; m < kMegabytes; ++m) mixed += uniform(m) ? 0 : 1;
    const uint64_t bytes = kFirstLevelBytes + uint64_t{mixed} * kCoarseBytes;
    const uint64_t size = (bytes + kPage - 1) / kPage * kPage;

    // The first stretch of inaccessible pages with room for it, starting at a first-level
    // table's alignment. Without one, the core runs without its MMU.
    std::optional<uint64_t> base;
    for (uint64_t page = 0; page < kPages && !base;) {
        if (access[page] != 0) {
            ++page;
            continue;
        }
        uint64_t end = page;
        while (end < kPages && access[end] == 0) ++end;
        const uint64_t start =
            (page * kPage + kFirstLevelBytes - 1) / kFirstLevelBytes * kFirstLevelBytes;
        if (start + size <= end * kPage) base = start;
        page = end;
    }
    if (!base) return {};

    table_.reset(static_cast<uint8_t*>(std::aligned_alloc(kPage, size)));
    if (!table_) return "no host memory for the core's translation table";
    std::memset(table_.get(), 0, size);
    auto* words = reinterpret_cast<uint32_t*>(table_.get());
    uint32_t coarse = kFirstLevelBytes;
    for (uint32_t m = 0; m < kMegabytes; ++m) {
        const uint32_t address = m << 20;
        const uint8_t first = access[m * kPagesPerMegabyte];
        if (uniform(m)) {
            if (first != 0) words[m] = address | (first == 2 ? kSectionFull : kSectionReadOnly);
            continue;
        }
        words[m] = (static_cast<uint32_t>(*base) + coarse) | kCoarseTable;
        auto* pages = words + coarse / 4;
        for (uint32_t p = 0; p < kPagesPerMegabyte; ++p) {
            const uint8_t a = access[m * kPagesPerMegabyte + p];
            if (a != 0) pages[p] = (address + p * kPage) | (a == 2 ? kPageFull : kPageReadOnly);
        }
        coarse += kCoarseBytes;
    }
    // The MMU reads the table at these addresses; the table itself leaves them out, so the
    // program never reaches it (and the link's requests find them inaccessible).
    const uc_err err = uc_mem_map_ptr(uc, *base, size, UC_PROT_READ, table_.get());
    if (err != UC_ERR_OK) return uc_strerror(err);
    tableBase_ = static_cast<uint32_t>(*base);
    return {};
}

void CorePages::dropWritten(uc_engine* uc) {
    bool all = false;
    const auto written = memory_.takeWrites(all);
    if (all) {
        dropAll(uc);
        return;
    }
    for (const auto& [first, end] : written) uc_ctl_remove_cache(uc, first, end);
}

void CorePages::dropAll(uc_engine* uc) {
    // Region by region: flushing the emulator's whole code cache clears all of its buffer,
    // which takes seconds. The emulator takes the end within 32 bits (an end of 4 GiB would
    // wrap to nothing), so the last byte of the address space stays out of the range; the
    // code translated from its page still overlaps the range and is dropped.
    for (const Region& region : regions_) {
        const uint64_t end = std::min<uint64_t>(region.base + region.size, 0xFFFFFFFFu);
        uc_ctl_remove_cache(uc, uint64_t{region.base}, end);
    }
}

void CorePages::refreshDevices(uc_engine* uc) {
    auto fresh = std::make_unique<uint8_t[]>(kPage);
    TargetBus bus(memory_, flash_, chip_);
    for (Region& region : regions_) {
        if (region.kind != Kind::Device) continue;
        for (uint64_t offset = 0; offset < region.size; offset += kPage) {
            const uint32_t base = region.base + static_cast<uint32_t>(offset);
            uint8_t* copy = region.copy.get() + offset;
            bus.read(base, std::span<uint8_t>(fresh.get(), kPage));
            if (std::memcmp(fresh.get(), copy, kPage) == 0) continue;
            std::memcpy(copy, fresh.get(), kPage);
            uc_ctl_remove_cache(uc, uint64_t{base}, uint64_t{base} + kPage);
        }
    }
}

}  // namespace tov::sim

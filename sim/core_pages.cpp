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
    for (Region& region : regions_) {
        uint8_t* bytes = memory_.store() + region.base;
        uint32_t protection = UC_PROT_READ | UC_PROT_EXEC;
        if (region.kind == Kind::Memory) protection = UC_PROT_ALL;
        if (region.kind == Kind::Device) {
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

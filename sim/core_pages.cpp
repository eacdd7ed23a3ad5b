// Mapping target memory into the emulated core page by page, and keeping both in step.
#include "sim/core_pages.h"

#include <cstdlib>
#include <cstring>
#include <span>

#include "sim/target_bus.h"

namespace tov::sim {
namespace {

constexpr uint32_t kPage = TargetMemory::kPageSize;

}  // namespace

void CorePages::Buffer::operator()(uint8_t* p) const {
    std::free(p);
}

CorePages::~CorePages() = default;

void CorePages::readTarget(uint32_t base, uint8_t* out) {
    TargetBus bus(memory_, flash_, chip_);
    bus.read(base, std::span<uint8_t>(out, kPage));
}

bool CorePages::mapPage(uc_engine* uc, uint32_t base) {
    if (pages_.count(base)) return true;
    if (!memory_.accessible(base, kPage)) return false;
    Page page;
    page.live.reset(static_cast<uint8_t*>(std::aligned_alloc(kPage, kPage)));
    page.shadow = std::make_unique<uint8_t[]>(kPage);
    if (!page.live) return false;
    const bool rom = base >= TargetMemory::kRomFirst && base <= TargetMemory::kRomLast;
    page.writable = !rom && !flash_.overlaps(base, kPage) && !chip_.overlaps(base, kPage);
    readTarget(base, page.shadow.get());
    std::memcpy(page.live.get(), page.shadow.get(), kPage);
    const uint32_t protection = page.writable ? static_cast<uint32_t>(UC_PROT_ALL)
                                              : static_cast<uint32_t>(UC_PROT_READ | UC_PROT_EXEC);
    if (uc_mem_map_ptr(uc, base, kPage, protection, page.live.get()) != UC_ERR_OK) return false;
    pages_.emplace(base, std::move(page));
    return true;
}

bool CorePages::map(uc_engine* uc, uint64_t address, size_t size) {
    const uint64_t last = address + (size ? size - 1 : 0);
    for (uint64_t base = address & ~uint64_t{kPage - 1}; base <= last; base += kPage) {
        if (base > 0xFFFFFFFFu || !mapPage(uc, static_cast<uint32_t>(base))) return false;
    }
    return true;
}

void CorePages::refresh(uc_engine* uc) {
    auto fresh = std::make_unique<uint8_t[]>(kPage);
    for (auto& [base, page] : pages_) {
        readTarget(base, fresh.get());
        if (std::memcmp(fresh.get(), page.shadow.get(), kPage) == 0) continue;
        std::memcpy(page.shadow.get(), fresh.get(), kPage);
        std::memcpy(page.live.get(), fresh.get(), kPage);
        uc_ctl_remove_cache(uc, uint64_t{base}, uint64_t{base} + kPage);
    }
}

void CorePages::writeBack() {
    for (auto& [base, page] : pages_) {
        if (!page.writable) continue;
        const uint8_t* live = page.live.get();
        uint8_t* shadow = page.shadow.get();
        if (std::memcmp(live, shadow, kPage) == 0) continue;
        // One write of the stretch from the first to the last changed byte.
        uint32_t first = 0;
        while (live[first] == shadow[first]) ++first;
        uint32_t end = kPage;
        while (live[end - 1] == shadow[end - 1]) --end;
        memory_.write(base + first, std::span<const uint8_t>(live + first, end - first));
        std::memcpy(shadow + first, live + first, end - first);
    }
}

}  // namespace tov::sim

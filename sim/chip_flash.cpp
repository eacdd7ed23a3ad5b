// The simulated target's on-chip flash: sparse pages read and programmed a page at a time,
// programming that only clears bits, and the sector erases of the probe's erase request.
#include "sim/chip_flash.h"

#include <algorithm>
#include <cstdio>

namespace tov::sim {
namespace {

constexpr uint64_t kAddressSpace = uint64_t{1} << 32;
constexpr uint32_t kSelectableSectors = 32;

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

std::string checkChipFlash(const ChipFlashConfig& config,
                           const std::vector<FlashBankConfig>& banks) {
    if (!config.present()) return {};
    if (config.sectorSize == 0 || config.size % config.sectorSize != 0)
        return "size " + hex(config.size) + " is not a whole number of sectors of " +
               hex(config.sectorSize) + " bytes";
    const uint64_t end = uint64_t{config.base} + config.size;
    if (end > kAddressSpace)
        return "region at " + hex(config.base) + " runs past the end of the address space";
    for (const FlashBankConfig& bank : banks) {
        if (config.base < bank.base + bank.span() && bank.base < end)
            return "region overlaps the flash bank at " + hex(bank.base);
    }
    return {};
}

bool isOnChipFlashType(uint8_t type) {
    return (type >= 14 && type <= 21) || type == 25 || type == 26;
}

ChipFlash::ChipFlash(const ChipFlashConfig& config, const std::vector<uint32_t>& failingErase) {
    if (!checkChipFlash(config, {}).empty()) return;
    config_ = config;
    for (uint32_t address : failingErase) setEraseFails(address);
}

bool ChipFlash::contains(uint32_t address) const {
    return present() && address >= config_.base &&
           uint64_t{address} < uint64_t{config_.base} + config_.size;
}

bool ChipFlash::overlaps(uint32_t address, size_t n) const {
    if (!present() || n == 0) return false;
    const uint64_t first = address;
    const uint64_t last = first + n;  // exclusive; the part past 4 GiB wraps to 0
    const uint64_t base = config_.base;
    const uint64_t end = base + config_.size;
    if (first < end && base < last) return true;
    return last > kAddressSpace && base < last - kAddressSpace;
}

size_t ChipFlash::stretch(uint32_t address, size_t n, bool& inside) const {
    uint64_t end = std::min<uint64_t>(uint64_t{address} + n, kAddressSpace);
    inside = contains(address);
    if (inside) {
        end = std::min<uint64_t>(end, uint64_t{config_.base} + config_.size);
    } else if (present() && config_.base > address) {
        end = std::min<uint64_t>(end, config_.base);
    }
    return static_cast<size_t>(end - address);
}

template <typename Visit>
void ChipFlash::forEachPage(uint32_t address, size_t n, Visit visit) const {
    for (size_t done = 0; done < n;) {
        const uint32_t at = address + static_cast<uint32_t>(done);
        bool inside = false;
        size_t length = stretch(at, n - done, inside);
        const uint32_t offset = at - config_.base;
        if (inside) length = std::min<size_t>(length, kPageSize - offset % kPageSize);
        if (!visit(at, done, length, inside ? std::optional<uint32_t>(offset) : std::nullopt))
            return;
        done += length;
    }
}

void ChipFlash::read(uint32_t address, uint8_t* out, size_t n) const {
    forEachPage(address, n,
                [&](uint32_t, size_t done, size_t length, std::optional<uint32_t> offset) {
                    const auto page = offset ? pages_.find(*offset / kPageSize) : pages_.end();
                    if (page != pages_.end())
                        std::copy_n(page->second->data() + *offset % kPageSize, length, out + done);
                    else
                        std::fill_n(out + done, length, uint8_t{0xFF});
                    return true;
                });
}

uint32_t ChipFlash::program(uint32_t address, const uint8_t* data, size_t n) {
    uint32_t failed = 0;
    forEachPage(address, n,
                [&](uint32_t at, size_t done, size_t length, std::optional<uint32_t> offset) {
                    size_t taken = 0;
                    if (offset) {
                        std::unique_ptr<Page>& page = pages_[*offset / kPageSize];
                        if (!page) {
                            page = std::make_unique<Page>();
                            page->fill(0xFF);
                        }
                        uint8_t* cells = page->data() + *offset % kPageSize;
                        const uint8_t* from = data + done;
                        // A bit would go from 0 to 1: the bytes before it are still programmed.
                        while (taken < length && (from[taken] & ~cells[taken]) == 0) ++taken;
                        std::copy_n(from, taken, cells);
                    }
                    if (taken == length) return true;
                    failed = at + static_cast<uint32_t>(taken);
                    if (failed == 0) failed = 0xFFFFFFFF;
                    return false;
                });
    return failed;
}

bool ChipFlash::eraseSector(uint32_t index) {
    if (failing_.count(index) != 0) return false;
    const uint32_t first = index * config_.sectorSize;
    const uint32_t last = first + config_.sectorSize;  // exclusive offset
    for (uint32_t page = first / kPageSize; page * uint64_t{kPageSize} < last; ++page) {
        const auto found = pages_.find(page);
        if (found == pages_.end()) continue;
        const uint32_t pageStart = page * kPageSize;
        if (pageStart >= first && pageStart + uint64_t{kPageSize} <= last) {
            pages_.erase(found);
            continue;
        }
        // A sector smaller than a page: only its part of the page.
        const uint32_t from = std::max(first, pageStart) - pageStart;
        const uint32_t to = static_cast<uint32_t>(
            std::min<uint64_t>(last, pageStart + uint64_t{kPageSize}) - pageStart);
        std::fill(found->second->begin() + from, found->second->begin() + to, uint8_t{0xFF});
    }
    return true;
}

bool ChipFlash::erase(uint32_t address, bool sector, uint32_t selection) {
    if (!contains(address)) return false;
    std::vector<uint32_t> sectors;
    if (!sector) {
        for (uint32_t i = 0; i < sectorCount(); ++i) sectors.push_back(i);
    } else if (selection == 0) {
        sectors.push_back((address - config_.base) / config_.sectorSize);
    } else {
        for (uint32_t i = 0; i < kSelectableSectors; ++i) {
            if ((selection >> i & 1) == 0) continue;
            if (i >= sectorCount()) return false;
            sectors.push_back(i);
        }
    }
    EraseOutcome outcome;
    for (uint32_t i : sectors) {
        if (eraseSector(i) || outcome.failed) continue;
        outcome.failed = true;
        outcome.firstFailed = config_.base + i * config_.sectorSize;
    }
    lastErase_ = outcome;
    return true;
}

void ChipFlash::setEraseFails(uint32_t address, bool fails) {
    if (!contains(address)) return;
    const uint32_t index = (address - config_.base) / config_.sectorSize;
    if (fails)
        failing_.insert(index);
    else
        failing_.erase(index);
}

}  // namespace tov::sim

// The array, sectors and timed erase every simulated flash chip shares, and the probe's range
// accesses to the array.
#include "sim/flash_chip.h"

#include <algorithm>

#include "sim/flash_chip_a.h"
#include "sim/flash_chip_b.h"

namespace tov::sim {

FlashChip::FlashChip(uint32_t size, uint8_t width, uint32_t sectorSize, FlashTiming timing)
    : size_(size),
      width_(width),
      sectorSize_(sectorSize),
      timing_(timing),
      sectors_(size / sectorSize) {}

uint8_t* FlashChip::writableByte(uint32_t offset) {
    std::unique_ptr<Sector>& sector = sectors_[offset / sectorSize_];
    if (!sector) sector = std::make_unique<Sector>(sectorSize_, uint8_t{0xFF});
    return sector->data() + offset % sectorSize_;
}

uint8_t FlashChip::arrayByte(uint32_t offset) const {
    const std::unique_ptr<Sector>& sector = sectors_[offset / sectorSize_];
    return sector ? (*sector)[offset % sectorSize_] : uint8_t{0xFF};
}

template <typename Visit>
void FlashChip::forEachSector(uint32_t offset, size_t n, Visit visit) const {
    for (size_t done = 0; done < n;) {
        const uint32_t at = offset + static_cast<uint32_t>(done);
        const uint32_t inSector = at % sectorSize_;
        const size_t length = std::min<size_t>(n - done, sectorSize_ - inSector);
        visit(at / sectorSize_, inSector, done, length);
        done += length;
    }
}

size_t FlashChip::programmable(uint32_t offset, const uint8_t* data, size_t n, TimePoint now) {
    settle(now);
    if (erasing()) return 0;
    size_t taken = n;
    forEachSector(offset, n, [&](uint32_t s, uint32_t inSector, size_t done, size_t length) {
        const Sector* sector = sectors_[s].get();
        if (taken < n || !sector) return;  // an erased sector takes anything
        const uint8_t* old = sector->data() + inSector;
        for (size_t i = 0; i < length; ++i) {
            if ((old[i] & data[done + i]) != data[done + i]) {
                taken = done + i;
                return;
            }
        }
    });
    return taken;
}

void FlashChip::program(uint32_t offset, const uint8_t* data, size_t n) {
    forEachSector(offset, n, [&](uint32_t s, uint32_t inSector, size_t done, size_t length) {
        const uint8_t* from = data + done;
        std::unique_ptr<Sector>& sector = sectors_[s];
        // Ones leave an erased sector as it is: it stays unallocated.
        if (!sector && std::all_of(from, from + length, [](uint8_t b) { return b == 0xFF; }))
            return;
        if (!sector) sector = std::make_unique<Sector>(sectorSize_, uint8_t{0xFF});
        uint8_t* cells = sector->data() + inSector;
        for (size_t i = 0; i < length; ++i) cells[i] &= from[i];
    });
}

void FlashChip::readArray(uint32_t offset, uint8_t* out, size_t n, TimePoint now) {
    settle(now);
    forEachSector(offset, n, [&](uint32_t s, uint32_t inSector, size_t done, size_t length) {
        if (const Sector* sector = sectors_[s].get())
            std::copy_n(sector->data() + inSector, length, out + done);
        else
            std::fill_n(out + done, length, uint8_t{0xFF});
    });
}

uint32_t FlashChip::arrayWord(uint32_t word) const {
    uint32_t value = 0;
    for (uint32_t i = 0; i < width_; ++i) value = (value << 8) | arrayByte(word * width_ + i);
    return value;
}

void FlashChip::programWord(uint32_t word, uint32_t value) {
    for (uint32_t i = 0; i < width_; ++i) {
        const uint32_t offset = word * width_ + i;
        const auto byte = static_cast<uint8_t>(value >> (8 * (width_ - 1 - i)));
        const uint8_t old = arrayByte(offset);
        if ((old & byte) != old) *writableByte(offset) = old & byte;
    }
}

void FlashChip::setEraseFails(uint32_t offset, bool fails) {
    if (fails)
        failing_.insert(offset / sectorSize_);
    else
        failing_.erase(offset / sectorSize_);
}

void FlashChip::startErase(std::optional<uint32_t> word, TimePoint now) {
    if (word) {
        erase_ = Erase{*word * width_ / sectorSize_, 1, now + timing_.sectorErase};
    } else {
        erase_ = Erase{0, static_cast<uint32_t>(sectors_.size()), now + timing_.chipErase};
    }
    failed_ = false;
}

void FlashChip::settle(TimePoint now) {
    if (!erase_ || now < erase_->ends) return;
    for (uint32_t s = erase_->firstSector; s < erase_->firstSector + erase_->sectorCount; ++s) {
        if (failing_.count(s))
            failed_ = true;  // a sector that cannot be erased keeps what it held
        else
            sectors_[s].reset();
    }
    erase_.reset();
}

FlashChip::EraseState FlashChip::eraseState(TimePoint now) {
    settle(now);
    if (erasing()) return EraseState::Busy;
    return failed_ ? EraseState::Failed : EraseState::Idle;
}

bool FlashChip::erasingSectorOf(uint32_t word) const {
    if (!erase_) return false;
    const uint32_t sector = word * width_ / sectorSize_;
    return sector >= erase_->firstSector && sector < erase_->firstSector + erase_->sectorCount;
}

std::unique_ptr<FlashChip> makeFlashChip(FlashCommandSet set, uint32_t size, uint8_t width,
                                         uint32_t sectorSize, FlashTiming timing) {
    switch (set) {
        case FlashCommandSet::A5555:
            return std::make_unique<FlashChipA>(size, width, sectorSize, timing, 0x5555, 0x2AAA);
        case FlashCommandSet::AAAAA:
            return std::make_unique<FlashChipA>(size, width, sectorSize, timing, 0xAAAA, 0x5555);
        case FlashCommandSet::B:
            return std::make_unique<FlashChipB>(size, width, sectorSize, timing);
    }
    return nullptr;
}

}  // namespace tov::sim

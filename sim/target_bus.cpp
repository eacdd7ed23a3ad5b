// Memory accesses split between the flash banks, the on-chip flash and the plain target memory.
#include "sim/target_bus.h"

#include <algorithm>

namespace tov::sim {

template <typename Visit>
void TargetBus::split(uint32_t address, size_t size, Visit visit) const {
    size_t done = 0;
    while (done < size) {
        const uint32_t at = address + static_cast<uint32_t>(done);
        bool onChip = false;
        bool inBank = false;
        size_t length = chip_.stretch(at, size - done, onChip);
        if (!onChip) length = flash_.stretch(at, length, inBank);
        visit(at, done, length, onChip ? Place::Chip : inBank ? Place::Bank : Place::Memory);
        done += length;
    }
}

bool TargetBus::memoryAccessible(uint32_t address, size_t size) const {
    bool ok = true;
    split(address, size, [&](uint32_t at, size_t, size_t length, Place place) {
        if (place == Place::Memory) ok = ok && memory_.accessible(at, length);
    });
    return ok;
}

bool TargetBus::read(uint32_t address, std::span<uint8_t> out) {
    const bool anyFlash =
        flash_.overlaps(address, out.size()) || chip_.overlaps(address, out.size());
    if (!anyFlash) return memory_.read(address, out);
    if (!memoryAccessible(address, out.size())) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return false;
    }
    split(address, out.size(), [&](uint32_t at, size_t offset, size_t length, Place place) {
        switch (place) {
            case Place::Chip:
                chip_.read(at, out.data() + offset, length);
                break;
            case Place::Bank:
                flash_.read(at, out.data() + offset, length);
                break;
            case Place::Memory:
                memory_.read(at, out.subspan(offset, length));
                break;
        }
    });
    return true;
}

bool TargetBus::write(uint32_t address, std::span<const uint8_t> data) {
    if (chip_.overlaps(address, data.size())) return false;
    if (!flash_.overlaps(address, data.size())) return memory_.write(address, data);
    if (!memoryAccessible(address, data.size())) return false;
    split(address, data.size(), [&](uint32_t at, size_t offset, size_t length, Place place) {
        if (place == Place::Bank)
            flash_.write(at, data.data() + offset, length);
        else
            memory_.write(at, data.subspan(offset, length));
    });
    return true;
}

}  // namespace tov::sim

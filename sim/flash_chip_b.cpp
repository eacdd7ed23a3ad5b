// The commands and status register of command set B chips.
#include "sim/flash_chip_b.h"

namespace tov::sim {
namespace {

constexpr uint8_t kReadArray = 0xFF;
constexpr uint8_t kReadStatus = 0x70;
constexpr uint8_t kClearStatus = 0x50;
constexpr uint8_t kEraseSetup = 0x20;
constexpr uint8_t kEraseConfirm = 0xD0;
constexpr uint8_t kProgram = 0x40;
constexpr uint8_t kProgramAlternate = 0x10;

}  // namespace

FlashChipB::FlashChipB(uint32_t size, uint8_t width, uint32_t sectorSize, FlashTiming timing)
    : FlashChip(size, width, sectorSize, timing) {}

uint8_t FlashChipB::status() const {
    uint8_t s = errors_;
    if (!erasing()) s |= kReady;
    if (eraseFailed()) s |= kEraseError;
    return s;
}

void FlashChipB::write(uint32_t word, uint32_t value, TimePoint now) {
    settle(now);
    const auto code = static_cast<uint8_t>(value);
    if (erasing()) {
        if (code == kReadStatus) mode_ = Mode::Status;
        return;
    }
    switch (mode_) {
        case Mode::EraseSetup:
            mode_ = Mode::Status;
            if (code == kEraseConfirm)
                startErase(word, now);
            else
                errors_ |= kEraseError | kProgramError;  // command sequence error
            return;
        case Mode::ProgramSetup:
            mode_ = Mode::Status;
            if ((arrayWord(word) & value) != value) errors_ |= kProgramError;
            programWord(word, value);
            return;
        case Mode::Array:
        case Mode::Status:
            break;
    }
    switch (code) {
        case kReadArray:
            mode_ = Mode::Array;
            break;
        case kReadStatus:
            mode_ = Mode::Status;
            break;
        case kClearStatus:
            errors_ = 0;
            clearFailure();
            break;
        case kEraseSetup:
            mode_ = Mode::EraseSetup;
            break;
        case kProgram:
        case kProgramAlternate:
            mode_ = Mode::ProgramSetup;
            break;
        default:
            break;
    }
}

uint32_t FlashChipB::read(uint32_t word, TimePoint now) {
    settle(now);
    if (erasing()) mode_ = Mode::Status;
    return mode_ == Mode::Array ? arrayWord(word) : status();
}

bool FlashChipB::readsArray(TimePoint now) {
    settle(now);
    return !erasing() && mode_ == Mode::Array;
}

}  // namespace tov::sim

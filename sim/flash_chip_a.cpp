// The command sequences and erase status of command set A chips.
#include "sim/flash_chip_a.h"

namespace tov::sim {
namespace {

constexpr uint8_t kUnlock1 = 0xAA;
constexpr uint8_t kUnlock2 = 0x55;
constexpr uint8_t kEraseSetup = 0x80;
constexpr uint8_t kProgram = 0xA0;
constexpr uint8_t kReset = 0xF0;
constexpr uint8_t kSectorErase = 0x30;
constexpr uint8_t kBlockErase = 0x50;  // the larger-block erase some members take; same sectors
constexpr uint8_t kChipErase = 0x10;

constexpr uint8_t kToggle = 0x40;
constexpr uint8_t kExceeded = 0x20;
constexpr uint8_t kEraseTimer = 0x08;
constexpr uint8_t kSectorToggle = 0x04;

}  // namespace

FlashChipA::FlashChipA(uint32_t size, uint8_t width, uint32_t sectorSize, FlashTiming timing,
                       uint32_t firstAddress, uint32_t secondAddress)
    : FlashChip(size, width, sectorSize, timing), first_(firstAddress), second_(secondAddress) {}

void FlashChipA::write(uint32_t word, uint32_t value, TimePoint now) {
    settle(now);
    if (erasing()) return;
    if (step_ == Step::Program) {
        step_ = Step::Read;
        if (!eraseFailed()) programWord(word, value);
        return;
    }
    command(word, static_cast<uint8_t>(value), now);
}

void FlashChipA::command(uint32_t word, uint8_t code, TimePoint now) {
    if (code == kReset) {
        step_ = Step::Read;
        clearFailure();
        return;
    }
    const Step step = step_;
    step_ = Step::Read;
    switch (step) {
        case Step::Read:
            if (word == first_ && code == kUnlock1) step_ = Step::Unlocked1;
            break;
        case Step::Unlocked1:
            if (word == second_ && code == kUnlock2) step_ = Step::Unlocked2;
            break;
        case Step::Unlocked2:
            if (word != first_ || eraseFailed()) break;
            if (code == kEraseSetup) step_ = Step::EraseSetup;
            if (code == kProgram) step_ = Step::Program;
            break;
        case Step::EraseSetup:
            if (word == first_ && code == kUnlock1) step_ = Step::EraseUnlocked1;
            break;
        case Step::EraseUnlocked1:
            if (word == second_ && code == kUnlock2) step_ = Step::EraseUnlocked2;
            break;
        case Step::EraseUnlocked2:
            if (code == kSectorErase || code == kBlockErase) startErase(word, now);
            if (code == kChipErase && word == first_) startErase(std::nullopt, now);
            break;
        case Step::Program:
            break;
    }
}

uint32_t FlashChipA::read(uint32_t word, TimePoint now) {
    settle(now);
    if (!erasing() && !eraseFailed()) return arrayWord(word);
    uint8_t status = kEraseTimer;
    toggle6_ = !toggle6_;
    if (toggle6_) status |= kToggle;
    if (erasingSectorOf(word)) toggle2_ = !toggle2_;
    if (toggle2_) status |= kSectorToggle;
    if (eraseFailed()) status |= kExceeded;
    return status;
}

bool FlashChipA::readsArray(TimePoint now) {
    settle(now);
    return !erasing() && !eraseFailed();
}

}  // namespace tov::sim

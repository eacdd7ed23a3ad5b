// Banked ARM register storage of the simulated core.
#include "sim/target_registers.h"

#include <utility>

namespace tov::sim {
namespace {

constexpr uint16_t kGroupUser = 603;
constexpr uint16_t kGroupLastBanked = 613;
constexpr uint16_t kBankedCount = 15;  // r0..r14
constexpr uint32_t kModeMask = 0x1F;

}  // namespace

void RegisterFile::reset() {
    low_.fill(0);
    high_.fill(0);
    fiqHigh_.fill(0);
    for (auto& pair : spLr_) pair.fill(0);
    spsr_.fill(0);
    pc_ = 0;
    cpsr_ = kResetCpsr;
    semihostingVector_ = 0;
    vectorCatch_ = 0;
    cp0_.fill(0);
    cp15_.clear();
    cp15_[0] = kMainId;
    fp_.fill(0);
    vectors_.fill(0);
}

RegisterFile::Bank RegisterFile::bankOfMode(uint32_t mode) {
    switch (mode & kModeMask) {
        case 0x11:
            return kFiq;
        case 0x12:
            return kIrq;
        case 0x13:
            return kSupervisor;
        case 0x17:
            return kAbort;
        case 0x1B:
            return kUndefined;
        default:
            return kUser;  // User, System, and mode bits the core would not accept
    }
}

const uint32_t* RegisterFile::bankedSlot(Bank bank, uint16_t number) const {
    if (number >= kBankedCount) return nullptr;
    if (number < 8) return &low_[number];
    if (number < 13) return bank == kFiq ? &fiqHigh_[number - 8] : &high_[number - 8];
    return &spLr_[bank][number - 13];
}

const uint32_t* RegisterFile::slot(uint16_t group, uint16_t number) const {
    switch (group) {
        case kGroupCurrent:
            if (number == kNumberPc) return &pc_;
            if (number == kSemihostingVector) return &semihostingVector_;
            if (number == kVectorCatch) return &vectorCatch_;
            return bankedSlot(bankOfMode(cpsr_), number);
        case kGroupCpsr:
            return number == 0 ? &cpsr_ : nullptr;
        case kGroupCp0:
            return number < cp0_.size() ? &cp0_[number] : nullptr;
        default:
            break;
    }
    if (group < kGroupUser || group > kGroupLastBanked) return nullptr;
    // 603 is the User/System bank alone; from 604 on the groups come in pairs of r0..r14 and
    // the SPSR of one mode.
    if (group == kGroupUser) return bankedSlot(kUser, number);
    static constexpr Bank kPairs[] = {kFiq, kSupervisor, kAbort, kIrq, kUndefined};
    const uint16_t offset = group - (kGroupUser + 1);
    const Bank bank = kPairs[offset / 2];
    if (offset % 2 == 0) return bankedSlot(bank, number);
    return number == 0 ? &spsr_[bank] : nullptr;
}

bool RegisterFile::known(uint16_t group, uint16_t number) const {
    return group == kGroupCp15 || slot(group, number) != nullptr;
}

std::optional<uint32_t> RegisterFile::read(uint16_t group, uint16_t number) const {
    if (group == kGroupCp15) {
        auto it = cp15_.find(number);
        return it == cp15_.end() ? 0u : it->second;
    }
    const uint32_t* p = slot(group, number);
    if (!p) return std::nullopt;
    return *p;
}

bool RegisterFile::write(uint16_t group, uint16_t number, uint32_t value) {
    if (group == kGroupCp15) {
        cp15_[number] = value;
        return true;
    }
    uint32_t* p = slot(group, number);
    if (!p) return false;
    *p = value;
    return true;
}

}  // namespace tov::sim

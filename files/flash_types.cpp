// The table of external flash types.
#include "files/flash_types.h"

#include <array>

namespace tov::files {
namespace {

using M = EraseMethod;

constexpr std::array<FlashType, 22> kTypes = {{
    {2, 1, M::kCommandSetA, 0x5555, 0x2AAA, true},
    {31, 1, M::kCommandSetA, 0x5555, 0x2AAA, true},
    {5, 1, M::kCommandSetB, 0, 0, true},
    {29, 1, M::kCommandSetB, 0, 0, true},
    {6, 2, M::kCommandSetB, 0, 0, true},
    {30, 2, M::kCommandSetB, 0, 0, true},
    {11, 1, M::kCommandSetA, 0xAAAA, 0x5555, true},
    {32, 1, M::kCommandSetA, 0xAAAA, 0x5555, true},
    {12, 2, M::kCommandSetA, 0x5555, 0x2AAA, true},
    {33, 2, M::kCommandSetA, 0x5555, 0x2AAA, true},
    {22, 1, M::kPlainPoll, 0x5555, 0x2AAA, true},
    {23, 1, M::kPlainPoll, 0xAAAA, 0x5555, true},
    {24, 2, M::kPlainPoll, 0x5555, 0x2AAA, true},
    {34, 4, M::kNone, 0, 0, true},
    {35, 2, M::kCommandSetA, 0xAAAA, 0x5555, true},
    {36, 4, M::kCommandSetA, 0x5555, 0x2AAA, true},
    {37, 2, M::kAlternatingPoll, 0xAAAA, 0x5555, true},
    {38, 4, M::kAlternatingPoll, 0x5555, 0x2AAA, true},
    {39, 4, M::kInProbe, 0, 0, true},
    {40, 4, M::kInProbe, 0, 0, true},
    {41, 2, M::kInProbe, 0, 0, true},
    // Set by the on-chip flash set-up only; the probe erases it by itself.
    {21, 4, M::kInProbe, 0, 0, false},
}};

}  // namespace

const FlashType* findFlashType(uint16_t code) {
    for (const FlashType& type : kTypes) {
        if (type.code == code) return &type;
    }
    return nullptr;
}

}  // namespace tov::files

// The families number their stop causes differently (family 40 reports a halt as 0, older
// firmware a breakpoint), so each has its own column from cause to RDI code.
#include "rdi/stop_codes.h"

#include "include/tovrdi.h"

namespace tov::rdi {
namespace {

constexpr int kException = -1;
constexpr int kBroken = RDIError_TargetBroken;

// Causes 0 to 9 of each column; any higher cause is a broken target.
constexpr int kFamily33[] = {kBroken, 143, 144, 143, 147, kException, kBroken, kBroken, kBroken, 147};
constexpr int kFamily40[] = {147, 143, 144, 143, 147, kException, kBroken, kBroken, kBroken, 147};
constexpr int kOther[] = {143, 144, 147, kBroken, kException, 147, kBroken, kBroken, kBroken, kBroken};
constexpr uint32_t kCauses = sizeof kOther / sizeof kOther[0];

int exceptionCode(uint32_t vectorOffset) {
    constexpr uint32_t kVectors = 8;
    if (vectorOffset % 4 != 0 || vectorOffset / 4 >= kVectors) return kBroken;
    return static_cast<int>(vectorOffset / 4) + RDIError_Reset;
}

}  // namespace

bool isSemihostingStop(uint16_t family, uint32_t cause) {
    if (family == 10) return cause == 5;
    return (family == 33 || family == 40) && cause == 9;
}

int stopCode(uint16_t family, uint32_t cause, uint32_t vectorOffset) {
    if (cause >= kCauses) return kBroken;
    const int* column = family == 33 ? kFamily33 : family == 40 ? kFamily40 : kOther;
    const int code = column[cause];
    return code == kException ? exceptionCode(vectorOffset) : code;
}

}  // namespace tov::rdi

// The coprocessor description tables, one per CPU type code with its own register layout.
#include "rdi/coprocessor_descriptions.h"

namespace tov::rdi {
namespace {

constexpr uint32_t R = 1;   // read only
constexpr uint32_t RW = 3;  // read and write

constexpr CoprocessorRange kDebug8701[] = {{0, 1, 1, R},   {8, 11, 4, R},  {12, 12, 1, R},
                                           {13, 13, 1, R}, {16, 19, 4, R}, {20, 20, 1, R},
                                           {21, 21, 1, R}};
constexpr CoprocessorRange kDebug88[] = {{0, 1, 1, R},   {2, 2, 1, RW},   {4, 4, 1, R},
                                         {5, 5, 4, RW},  {8, 11, 4, R},   {12, 12, 2, R},
                                         {13, 13, 1, R}, {16, 19, 4, R},  {20, 20, 2, R},
                                         {21, 21, 1, R}};
constexpr CoprocessorRange kDebugOther[] = {{0, 1, 1, R},   {4, 4, 1, R},   {5, 5, 4, RW},
                                            {8, 11, 4, R},  {12, 12, 2, R}, {13, 13, 1, R},
                                            {16, 19, 4, R}, {20, 20, 2, R}, {21, 21, 1, R}};

constexpr CoprocessorRange k8703[] = {{0, 0, 4, R},  {1, 1, 4, RW}, {2, 2, 4, RW},  {3, 3, 4, RW},
                                      {5, 5, 4, RW}, {6, 6, 4, RW}, {13, 13, 4, RW}};
constexpr CoprocessorRange k8704[] = {{0, 0, 4, R},  {1, 1, 4, RW}, {2, 2, 1, RW},
                                      {3, 3, 1, RW}, {5, 5, 2, RW}, {6, 6, 4, RW}};
constexpr CoprocessorRange k8801[] = {{0, 0, 4, R}, {1, 1, 4, RW}, {2, 2, 4, R},
                                      {3, 3, 4, R}, {5, 5, 4, R},  {6, 6, 4, R},
                                      {9, 9, 4, R}, {13, 13, 4, RW}};
constexpr CoprocessorRange k8802[] = {{0, 0, 4, R},  {1, 1, 4, RW}, {2, 2, 1, RW}, {3, 3, 1, RW},
                                      {5, 5, 2, RW}, {6, 6, 4, RW}, {9, 9, 4, RW}};
constexpr CoprocessorRange k8803[] = {
    {0, 0, 4, R},     {1, 1, 4, RW},   {2, 2, 4, RW},   {3, 3, 4, RW},   {5, 5, 1, RW},
    {6, 6, 4, RW},    {10, 10, 4, RW}, {13, 13, 4, RW}, {16, 16, 4, R},  {17, 17, 1, RW},
    {18, 18, 2, RW},  {19, 19, 2, RW}, {20, 20, 2, RW}};
constexpr CoprocessorRange k8811[] = {{0, 0, 4, R},    {1, 1, 4, RW},   {2, 2, 1, RW},
                                      {3, 3, 1, RW},   {4, 4, 4, R},    {5, 5, 4, RW},
                                      {6, 6, 4, RW},   {9, 9, 4, RW},   {13, 13, 4, RW},
                                      {24, 24, 4, RW}, {25, 25, 4, RW}};
constexpr CoprocessorRange k8812[] = {{0, 0, 4, R}, {1, 1, 4, RW}};
constexpr CoprocessorRange k8813[] = {{0, 0, 4, R},   {1, 1, 4, RW},   {2, 2, 4, RW},
                                      {3, 3, 4, RW},  {5, 5, 1, RW},   {6, 6, 4, RW},
                                      {9, 9, 4, RW},  {10, 10, 4, RW}, {13, 13, 4, RW}};
constexpr CoprocessorRange k8821[] = {{0, 0, 4, R},  {1, 1, 4, RW}, {2, 2, 4, RW},  {3, 3, 4, RW},
                                      {5, 5, 4, RW}, {6, 6, 4, RW}, {13, 13, 4, RW}};
constexpr CoprocessorRange k8880[] = {{0, 0, 4, R},   {1, 1, 4, RW},  {2, 2, 4, RW},
                                      {3, 3, 4, RW},  {5, 5, 4, RW},  {6, 6, 4, RW},
                                      {13, 13, 4, RW}, {15, 15, 4, RW}};

std::span<const CoprocessorRange> debugLogic(uint16_t cpuType) {
    if (cpuType == 0x8880 || cpuType == 0x8821) return {};
    if (cpuType == 0x8701) return kDebug8701;
    if ((cpuType >> 8) == 0x88) return kDebug88;
    return kDebugOther;
}

std::span<const CoprocessorRange> systemControl(uint16_t cpuType) {
    switch (cpuType) {
        case 0x8703: return k8703;
        case 0x8704: return k8704;
        case 0x8801: return k8801;
        case 0x8802: return k8802;
        case 0x8803: return k8803;
        case 0x8811: return k8811;
        case 0x8812: return k8812;
        case 0x8813: return k8813;
        case 0x8821: return k8821;
        case 0x8880: return k8880;
        default: return {};
    }
}

void putLittle(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::span<const CoprocessorRange> coprocessorRanges(unsigned coprocessor, uint16_t cpuType) {
    if (coprocessor == 0) return debugLogic(cpuType);
    if (coprocessor == 15) return systemControl(cpuType);
    return {};
}

std::vector<uint8_t> coprocessorRecord(std::span<const CoprocessorRange> ranges) {
    std::vector<uint8_t> record;
    putLittle(record, static_cast<uint32_t>(ranges.size()), 4);
    for (const CoprocessorRange& range : ranges) {
        putLittle(record, range.first, 2);
        putLittle(record, range.last, 2);
        putLittle(record, range.size, 4);
        putLittle(record, range.access, 4);
        putLittle(record, 0, 4);
    }
    return record;
}

}  // namespace tov::rdi

// The family table of the library's firmware and logic update, and the probe models' data.
#include "maint/family_table.h"

namespace tov::maint {
namespace {

constexpr const char* kUnsupported = "NOT_SUPP";

// One family as it is written down: names per model, the same bases for every model.
struct FamilyRow {
    unsigned index;
    const char* name;
    uint16_t firmwareBase;
    uint16_t logicBase;
    const char* firmwareX;
    const char* firmwareB;  // TOV-B and Rev.C
    const char* firmwareA;
    const char* logicX;
    const char* logicB;
    const char* logicBC;
    const char* logicA;
};

constexpr FamilyRow kRows[] = {
    {0, "CPU32", 0x0000, 0, "TOVQXFW", "TQBC32FW", "TQAC32FW", "C32JEDQX", "C32JEDQB", "C32JEDQC",
     "C32JEDQA"},
    {5, "MPC8xx/MPC5xx", 0x5000, 1000, "TOVPPCFW", "TQBPPCFW", "TQAPPCFW", "PPCJEDQX", "PPCJEDQB",
     "PPCJEDQC", "PPCJEDQA"},
    {6, "ColdFire", 0x6000, 2000, "TOVMCFFW", "TQBMCFFW", "TQAMCFFW", "MCFJEDQX", "MCFJEDQB",
     "MCFJEDQC", "MCFJEDQA"},
    {7, "HC12", 0x7000, 3000, "TOVC12FW", "TQBC12FW", "TQAC12FW", "C12JEDQX", "C12JEDQB",
     "C12JEDQC", "C12JEDQA"},
    {8, "M-CORE", 0x8000, 4000, nullptr, "TQBMMCFW", "TQAMMCFW", nullptr, "MMCJEDQB", "MMCJEDQC",
     "MMCJEDQA"},
    {10, "ARM", 0xA000, 4000, nullptr, "TQBARMFW", "TQAARMFW", nullptr, "ARMJEDQB", "ARMJEDQC",
     "ARMJEDQA"},
    {11, "TriCore", 0xB000, 6000, nullptr, "TQBTRIFW", "TQATRIFW", nullptr, "TRIJEDQB", "TRIJEDQC",
     "TRIJEDQA"},
    {17, "PPC6xx/PPC7xx", 0xD100, 7000, nullptr, "TQBCOPFW", "TQACOPFW", nullptr, "COPJEDQB",
     "COPJEDQC", "COPJEDQA"},
    {20, "PPC400", 0xD400, 9000, nullptr, "TQBPP4FW", "TQAPP4FW", nullptr, "PP4JEDQB", "PP4JEDQC",
     "PP4JEDQA"},
    // This family's probes carry the same logic as family 17.
    {27, "MPC7450", 0xDB00, 7000, nullptr, "TQBPWSFW", "TQAPWSFW", nullptr, "COPJEDQB", "COPJEDQC",
     "COPJEDQA"},
    {30, "MIPS32", 0xDE00, 10000, nullptr, "TQBR4KFW", "TQAR4KFW", nullptr, "R4KJEDQB", "R4KJEDQC",
     "R4KJEDQA"},
    {33, "XScale", 0xE100, 11000, nullptr, "TQBXSCFW", "TQAXSCFW", nullptr, "XSCJEDQB", "XSCJEDQC",
     "XSCJEDQA"},
};

constexpr FamilyFiles kNotSupported{65535, 0, kUnsupported, kUnsupported};

// Entries per family, one per model code (X, B, BC, A).
using FamilyTable = std::array<std::array<FamilyFiles, 4>, kFamilyCount>;

constexpr FamilyFiles entry(const FamilyRow& row, const char* firmware, const char* logic) {
    if (!firmware) return kNotSupported;
    return {row.firmwareBase, row.logicBase, firmware, logic};
}

constexpr FamilyTable makeTable() {
    FamilyTable table{};
    for (auto& models : table) models.fill(kNotSupported);
    for (const FamilyRow& row : kRows) {
        table[row.index] = {
            entry(row, row.firmwareX, row.logicX), entry(row, row.firmwareB, row.logicB),
            entry(row, row.firmwareB, row.logicBC), entry(row, row.firmwareA, row.logicA)};
    }
    return table;
}

constexpr FamilyTable kTable = makeTable();

constexpr size_t textLength(const char* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}
constexpr bool namesFit() {
    for (const FamilyRow& row : kRows) {
        if (textLength(row.name) > kMaxFamilyName) return false;
    }
    return true;
}
static_assert(namesFit(), "a family name is longer than the documented buffer");

constexpr FlashLayout kLayoutX{
    {0x00084000, 0x000A0000, 0x000C0000, 0x000E0000}, 0x000A0000, 0, true};
constexpr FlashLayout kLayoutB{
    {0x0100C000, 0x01040000, 0x01080000, 0x010C0000}, 0x01040000, 0x01008000, false};
constexpr FlashLayout kLayoutA{
    {0x00086000, 0x000A0000, 0x000C0000, 0x000E0000}, 0x000A0000, 0x00084000, false};

}  // namespace

const FamilyFiles& familyFiles(unsigned family, ProbeModel model) {
    if (family >= kFamilyCount) return kNotSupported;
    return kTable[family][static_cast<size_t>(model) & 3];
}

const char* familyName(unsigned family) {
    for (const FamilyRow& row : kRows) {
        if (row.index == family) return row.name;
    }
    return "unknown";
}

uint8_t expectedLogicDeviceId(ProbeModel model) {
    switch (model) {
        case ProbeModel::X:
            return 21;
        case ProbeModel::B:
        case ProbeModel::BC:
            return 19;
        case ProbeModel::A:
            return 18;
    }
    return 0;
}

const FlashLayout& flashLayout(ProbeModel model) {
    switch (model) {
        case ProbeModel::X:
            return kLayoutX;
        case ProbeModel::A:
            return kLayoutA;
        case ProbeModel::B:
        case ProbeModel::BC:
            break;
    }
    return kLayoutB;
}

}  // namespace tov::maint

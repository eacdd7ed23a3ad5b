// Name tables for the probe's family, CPU type and state codes.
#include "target/probe_names.h"

#include <array>
#include <utility>

namespace tov::target {

namespace {

constexpr std::array<std::pair<uint16_t, std::string_view>, 14> kFamilies = {{
    {0, "CPU16/CPU32"},
    {5, "MPC8xx/MPC5xx"},
    {6, "ColdFire"},
    {7, "CPU12"},
    {8, "M-CORE"},
    {10, "ARM7/ARM9"},
    {11, "TriCore"},
    {17, "PPC6xx/7xx/82xx/74xx"},
    {20, "PPC400"},
    {27, "MPC7450"},
    {30, "MIPS32"},
    {33, "XScale"},
    {37, "MPC85xx"},
    {40, "ARM11"},
}};

// One name for the inclusive code range first..last.
struct CpuTypeRange {
    uint16_t first;
    uint16_t last;
    std::string_view name;
};

constexpr CpuTypeRange kCpuTypes[] = {
    {0x03C0, 0x03C0, "HC812A4"},
    {0x03C1, 0x03C1, "HC912B32"},
    {0x03C3, 0x03C3, "HC912D60"},
    {0x03C4, 0x03C4, "HC912DG128"},
    {0x03C5, 0x03C5, "HC912DA128"},
    {0x03C6, 0x03C6, "HC912D60A"},
    {0x03C7, 0x03C7, "HC912DG128A"},
    {0x03C8, 0x03C8, "HC912DT128A"},
    {0x03C9, 0x03C9, "HCS12 256k (4x64k) Flash"},
    {0x03CA, 0x03CA, "HCS12 128k (2x64k) Flash"},
    {0x03CB, 0x03CB, "HCS12 64k (1x64k) Flash"},
    {0x03CC, 0x03CC, "HCS12 32k (1x32k) Flash"},
    {0x03CD, 0x03CD, "HCS12 512k (4x128k) Flash"},
    {0x03CE, 0x03CE, "HCS12 256k (2x128k) Flash"},
    {0x03CF, 0x03CF, "HCS12 128k (1x128k) Flash"},
    {0x03E0, 0x03E0, "S12X 128k (1x128k) Flash"},
    {0x03E1, 0x03E1, "S12X 256k (2x128k) Flash"},
    {0x03E2, 0x03E2, "S12X 512k (4x128k) Flash"},
    {0x03E3, 0x03E3, "S12X 768k (6x128k) Flash"},
    {0x03E4, 0x03E4, "S12X 1024k (8x128k) Flash"},
    {0x80C0, 0x80C0, "CPU12"},
    {0x80C1, 0x80C1, "HCS12 Custom SoC 1"},
    {0x8100, 0x8100, "CPU16"},
    {0x8200, 0x8200, "CPU32"},
    {0x8300, 0x8300, "ColdFire"},
    {0x8301, 0x8301, "MCF5202"},
    {0x8302, 0x8302, "MCF5203"},
    {0x8303, 0x8303, "MCF5204"},
    {0x8304, 0x8304, "MCF5206"},
    {0x8305, 0x8305, "MCF5307"},
    {0x8306, 0x8306, "MCF5407"},
    {0x8307, 0x8307, "MCF5272"},
    {0x8308, 0x8308, "MCF5249"},
    {0x8309, 0x8309, "MCF5282"},
    {0x830A, 0x830A, "MCF5480/70"},
    {0x8400, 0x8405, "MPC8xx"},
    {0x8500, 0x8503, "MPC5xx"},
    {0x8600, 0x8600, "M-CORE"},
    {0x8601, 0x8601, "MMC2001"},
    {0x8602, 0x8602, "MMC2107"},
    {0x8603, 0x8603, "MMC2114"},
    {0x8700, 0x8700, "ARM7TDMI"},
    {0x8701, 0x8701, "ARM7DI"},
    {0x8702, 0x8702, "ARM710T"},
    {0x8703, 0x8703, "ARM720T"},
    {0x8704, 0x8704, "ARM740T"},
    {0x8705, 0x8705, "MAC7100"},
    {0x8800, 0x8800, "ARM9TDMI"},
    {0x8801, 0x8801, "ARM920T"},
    {0x8802, 0x8802, "ARM940T"},
    {0x8803, 0x8803, "TI925T"},
    {0x8810, 0x8810, "ARM9E"},
    {0x8811, 0x8811, "ARM946E"},
    {0x8812, 0x8812, "ARM966E"},
    {0x8813, 0x8813, "ARM926E"},
    {0x8820, 0x8820, "ARM11"},
    {0x8821, 0x8821, "ARM1136"},
    {0x8880, 0x8880, "XScale"},
    {0x8900, 0x8900, "TriCore"},
    {0x8A00, 0x8A00, "PPC603e"},
    {0x8A01, 0x8A01, "PPC603ev"},
    {0x8A02, 0x8A02, "MPC8260"},
    {0x8A03, 0x8A03, "MPC8240"},
    {0x8A04, 0x8A04, "MGT5100/MPC4200"},
    {0x8A05, 0x8A05, "MPC8280/MPC8270"},
    {0x8A06, 0x8A06, "MPC5200"},
    {0x8A07, 0x8A07, "MPC8220"},
    {0x8B00, 0x8B00, "PPC750"},
    {0x8C00, 0x8C00, "PPC403"},
    {0x8D00, 0x8D00, "PPC405"},
    {0x8E00, 0x8E00, "MPC7400"},
    {0x8F00, 0x8F00, "PPC401"},
    {0x9000, 0x9000, "PPC440"},
    {0x9100, 0x9100, "MIPS32"},
    {0x9101, 0x9101, "IDT RC32300"},
    {0x9102, 0x9102, "Alchemy AU1000"},
    {0x9103, 0x9103, "MIPS32 4Kc"},
    {0x9104, 0x9104, "MIPS32 4Km"},
    {0x9105, 0x9105, "MIPS32 4Kp"},
    {0x9200, 0x9200, "MPC85xx"},
    {0x9201, 0x9201, "MPC8560"},
    {0x9202, 0x9202, "MPC8540"},
};

constexpr std::array<std::string_view, 4> kStates = {"RESETED", "READY", "RUNNING", "ERROR"};

}  // namespace

std::string_view familyName(uint16_t family) {
    for (const auto& [code, name] : kFamilies) {
        if (code == family) return name;
    }
    return {};
}

std::string versionText(uint16_t version) {
    if (version == 0 || version > 255) return "unknown";
    const unsigned hundredths = version % 100;
    return std::to_string(version / 100) + "." + (hundredths < 10 ? "0" : "") +
           std::to_string(hundredths);
}

std::string_view cpuTypeName(uint16_t cpuType) {
    for (const CpuTypeRange& range : kCpuTypes) {
        if (cpuType >= range.first && cpuType <= range.last) return range.name;
    }
    return {};
}

std::string_view stateName(uint16_t state) {
    return state < kStates.size() ? kStates[state] : std::string_view();
}

}  // namespace tov::target

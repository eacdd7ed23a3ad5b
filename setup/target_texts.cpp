// Texts of the target test dialog.
#include "setup/target_texts.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "maint/probe_identity.h"

namespace tov::setup {
namespace {

struct Named {
    uint16_t code;
    const char* name;
};

constexpr std::array<Named, 14> kFamilies = {{{0, "CPU16/CPU32"},
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
                                              {40, "ARM11"}}};

constexpr Named kCpuTypes[] = {
    {0x03C0, "HC812A4"},
    {0x03C1, "HC912B32"},
    {0x03C3, "HC912D60"},
    {0x03C4, "HC912DG128"},
    {0x03C5, "HC912DA128"},
    {0x03C6, "HC912D60A"},
    {0x03C7, "HC912DG128A"},
    {0x03C8, "HC912DT128A"},
    {0x03C9, "HCS12 256k (4x64k) Flash"},
    {0x03CA, "HCS12 128k (2x64k) Flash"},
    {0x03CB, "HCS12 64k (1x64k) Flash"},
    {0x03CC, "HCS12 32k (1x32k) Flash"},
    {0x03CD, "HCS12 512k (4x128k) Flash"},
    {0x03CE, "HCS12 256k (2x128k) Flash"},
    {0x03CF, "HCS12 128k (1x128k) Flash"},
    {0x03E0, "S12X 128k (1x128k) Flash"},
    {0x03E1, "S12X 256k (2x128k) Flash"},
    {0x03E2, "S12X 512k (4x128k) Flash"},
    {0x03E3, "S12X 768k (6x128k) Flash"},
    {0x03E4, "S12X 1024k (8x128k) Flash"},
    {0x80C0, "CPU12"},
    {0x80C1, "HCS12 Custom SoC 1"},
    {0x8100, "CPU16"},
    {0x8200, "CPU32"},
    {0x8300, "ColdFire"},
    {0x8301, "MCF5202"},
    {0x8302, "MCF5203"},
    {0x8303, "MCF5204"},
    {0x8304, "MCF5206"},
    {0x8305, "MCF5307"},
    {0x8306, "MCF5407"},
    {0x8307, "MCF5272"},
    {0x8308, "MCF5249"},
    {0x8309, "MCF5282"},
    {0x830A, "MCF5480/70"},
    {0x8400, "MPC8xx"},
    {0x8401, "MPC8xx"},
    {0x8402, "MPC8xx"},
    {0x8403, "MPC8xx"},
    {0x8404, "MPC8xx"},
    {0x8405, "MPC8xx"},
    {0x8500, "MPC5xx"},
    {0x8501, "MPC5xx"},
    {0x8502, "MPC5xx"},
    {0x8503, "MPC5xx"},
    {0x8600, "M-CORE"},
    {0x8601, "MMC2001"},
    {0x8602, "MMC2107"},
    {0x8603, "MMC2114"},
    {0x8700, "ARM7TDMI"},
    {0x8701, "ARM7DI"},
    {0x8702, "ARM710T"},
    {0x8703, "ARM720T"},
    {0x8704, "ARM740T"},
    {0x8705, "MAC7100"},
    {0x8800, "ARM9TDMI"},
    {0x8801, "ARM920T"},
    {0x8802, "ARM940T"},
    {0x8803, "TI925T"},
    {0x8810, "ARM9E"},
    {0x8811, "ARM946E"},
    {0x8812, "ARM966E"},
    {0x8813, "ARM926E"},
    {0x8820, "ARM11"},
    {0x8821, "ARM1136"},
    {0x8880, "XScale"},
    {0x8900, "TriCore"},
    {0x8A00, "PPC603e"},
    {0x8A01, "PPC603ev"},
    {0x8A02, "MPC8260"},
    {0x8A03, "MPC8240"},
    {0x8A04, "MGT5100/MPC4200"},
    {0x8A05, "MPC8280/MPC8270"},
    {0x8A06, "MPC5200"},
    {0x8A07, "MPC8220"},
    {0x8B00, "PPC750"},
    {0x8C00, "PPC403"},
    {0x8D00, "PPC405"},
    {0x8E00, "MPC7400"},
    {0x8F00, "PPC401"},
    {0x9000, "PPC440"},
    {0x9100, "MIPS32"},
    {0x9101, "IDT RC32300"},
    {0x9102, "Alchemy AU1000"},
    {0x9103, "MIPS32 4Kc"},
    {0x9104, "MIPS32 4Km"},
    {0x9105, "MIPS32 4Kp"},
    {0x9200, "MPC85xx"},
    {0x9201, "MPC8560"},
    {0x9202, "MPC8540"},
};

std::string format(const char* fmt, const std::string& text) {
    char line[160];
    std::snprintf(line, sizeof line, fmt, text.c_str());
    return line;
}

}  // namespace

std::string firmwareVersionText(unsigned version) {
    return maint::versionDisplayText(version);
}

std::string firmwareLine(unsigned family, unsigned version) {
    const char* name = "unknown target";
    for (const Named& f : kFamilies) {
        if (f.code == family) name = f.name;
    }
    return "- Firmware:\tV " + firmwareVersionText(version) + " for " + name;
}

std::string cpuTypeName(uint16_t code) {
    for (const Named& cpu : kCpuTypes) {
        if (cpu.code == code) return cpu.name;
    }
    return "unknown";
}

std::string cpuTypeLine(uint16_t code) {
    return "- CPU Type:\t" + cpuTypeName(code);
}

std::vector<std::string> setupTimeLines(uint32_t time) {
    if (time == 0) return {};
    const std::time_t t = time;
    std::tm local{};
    localtime_r(&t, &local);
    char text[96];
    std::strftime(text, sizeof text, "%x %X", &local);
    return {format("- Setup Time:\t%s", text)};
}

std::vector<std::string> stateLines(const TargetStateReport& report,
                                    const char* (*errorText)(int32_t)) {
    char line[64];
    switch (report.state) {
        case 0:
            return {"- Target State:\tRESETED"};
        case 1: {
            std::vector<std::string> lines{"- Target State:\tREADY"};
            std::snprintf(line, sizeof line, "- Reset Time:\t%lu",
                          static_cast<unsigned long>(report.value));
            lines.emplace_back(line);
            const uint32_t pc = report.values.size() > 1 ? report.values[1] : 0;
            std::snprintf(line, sizeof line, "- Program Counter:\t0x%08lX",
                          static_cast<unsigned long>(pc));
            lines.emplace_back(line);
            return lines;
        }
        case 2:
            return {"- Target State:\tRUNNING"};
        case 3:
            return {"- Target State:\tERROR", format("- Error Info:\t%s", errorText(report.error))};
        default:
            return {"- Target State:\tUNKNOWN"};
    }
}

}  // namespace tov::setup

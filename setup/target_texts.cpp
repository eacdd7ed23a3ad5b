// Texts of the target test dialog.
#include "setup/target_texts.h"

#include <cstdio>
#include <ctime>

#include "maint/probe_identity.h"
#include "target/probe_names.h"

namespace tov::setup {
namespace {

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
    const std::string_view name =
        family <= 0xFFFF ? target::familyName(static_cast<uint16_t>(family)) : std::string_view();
    return "- Firmware:\tV " + firmwareVersionText(version) + " for " +
           (name.empty() ? std::string("unknown target") : std::string(name));
}

std::string cpuTypeName(uint16_t code) {
    const std::string_view name = target::cpuTypeName(code);
    return name.empty() ? "unknown" : std::string(name);
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
    const std::string_view name = target::stateName(report.state);
    std::vector<std::string> lines{"- Target State:\t" +
                                   (name.empty() ? std::string("UNKNOWN") : std::string(name))};
    char line[64];
    if (report.state == 1) {
        std::snprintf(line, sizeof line, "- Reset Time:\t%lu",
                      static_cast<unsigned long>(report.value));
        lines.emplace_back(line);
        const uint32_t pc = report.values.size() > 1 ? report.values[1] : 0;
        std::snprintf(line, sizeof line, "- Program Counter:\t0x%08lX",
                      static_cast<unsigned long>(pc));
        lines.emplace_back(line);
    } else if (report.state == 3) {
        lines.push_back(format("- Error Info:\t%s", errorText(report.error)));
    }
    return lines;
}

}  // namespace tov::setup

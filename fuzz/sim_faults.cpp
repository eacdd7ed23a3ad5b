// Fuzzes the parser of the simulator's fault settings: accepted settings are in range and
// leave a plan that draws its decisions; refused ones leave the settings unchanged.
#include <string>
#include <string_view>

#include "fuzz/support/check.h"
#include "sim/faults.h"

using tov::sim::FaultSettings;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    FaultSettings settings;
    settings.seed = 77;
    std::string error;
    if (!tov::sim::parseFaults(text, settings, error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(settings.seed == 77 && !settings.any());
        return 0;
    }
    for (double p : {settings.drop, settings.corrupt, settings.dup, settings.stale, settings.event}) {
        FUZZ_CHECK(p >= 0 && p <= 1);
    }
    tov::sim::FaultPlan plan(settings);
    for (int i = 0; i < 4; ++i) {
        plan.onReceive();
        const auto answer = plan.onAnswer();
        FUZZ_CHECK(answer.corruptBit < 8);
        FUZZ_CHECK(answer.delayMs <= settings.delayMs);
    }
    return 0;
}

// Fuzzes the simulator's command line parser: the input is the argument list, one argument per
// line; the parser answers with options, help, or an error text, never a crash.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/check.h"
#include "sim/sim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && args.size() < 64) {
        const size_t end = rest.find('\n');
        args.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    const tov::sim::ParsedCommandLine parsed = tov::sim::parseCommandLine(args);
    if (parsed.error.empty() && !parsed.help && !parsed.version) {
        // A command line that serves a probe says where; one that writes update files serves
        // none, and says into which folder.
        const auto& options = parsed.options;
        if (parsed.updateFilesDir) {
            FUZZ_CHECK(options.serialPath.empty() && options.udpAddress.empty());
            FUZZ_CHECK(!parsed.updateFilesDir->empty());
        } else {
            FUZZ_CHECK(!options.serialPath.empty() || !options.udpAddress.empty());
        }
    }
    return 0;
}

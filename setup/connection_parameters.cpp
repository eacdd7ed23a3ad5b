// The setup program's connection parameter text.
#include "setup/connection_parameters.h"

#include "setup/value_tables.h"

namespace tov::setup {
namespace {

std::string& parameters() {
    static std::string text;
    return text;
}

}  // namespace

const std::string& connectionParameters() {
    return parameters();
}

void buildConnectionParameters(uint32_t channel, uint32_t baudIndex, std::string_view ipAddress) {
    if (channel <= 3) {
        std::string text = "COM" + std::to_string(channel + 1);
        if (baudIndex < kLineRates.size()) text += " " + std::to_string(kLineRates[baudIndex]);
        parameters() = text;
    } else if (channel <= 5) {
        parameters() = "NETWORK " + std::string(ipAddress) + (channel == 4 ? " 1" : " 2");
    }
}

}  // namespace tov::setup

// The parameter text every probe operation of the setup program opens the link with, and the
// rule that builds it from a channel, a line-rate index and an IP address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tov::setup {

// The process-wide parameter text for TOV_Open and TOV_Connect.
const std::string& connectionParameters();
// "COMn RATE" for channels 0..3 (no rate for an index outside the table), "NETWORK ip 1" or
// "NETWORK ip 2" for channels 4 and 5; a higher channel leaves the text as it was.
void buildConnectionParameters(uint32_t channel, uint32_t baudIndex, std::string_view ipAddress);

}  // namespace tov::setup

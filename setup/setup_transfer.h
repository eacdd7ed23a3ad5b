// Writing a setup into the probe: the checks made before connecting, the block and entries a
// document's values give, and the transfer with its status texts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "maint/setup_sector.h"
#include "setup/tov_doc.h"

namespace tov::setup {

// The status texts of a transfer, in the order they appear.
inline constexpr const char* kStatusConnecting = "Connecting to TOV firmware....";
inline constexpr const char* kStatusWriting = "Writing setup data ....";
inline constexpr const char* kStatusPassed = "Writing setup data passed";
inline constexpr const char* kStatusFailed = "Writing setup data failed!";
inline constexpr const char* kTransferFailed = "Transfer failed!";

// Why a setup cannot be written, said before anything is sent: a line-rate index outside the
// table, or more init items than the probe's setup sector holds. Empty when it can.
std::string transferRefusal(uint32_t baudIndex, const CCodeList& initList);

// Why stored working-mode values would not pass the working-mode dialog's checks (run time,
// scan chain), naming the field; empty when they pass.
std::string modeRangeProblem(const WorkingMode& mode);

// The setup block of these values written at `time`; the line-rate index must be in the table.
maint::SetupBlock setupBlockOf(const WorkingMode& mode, uint32_t baudIndex, uint32_t time);
// One entry per init item, in list order, with the numbers the item's text gives.
std::vector<maint::InitEntry> initEntriesOf(const CCodeList& initList);

// Connects with `port`, writes the setup (the clock read when writing starts), always sends the
// closing request and disconnects. `status` gets each status text as it is due (from the
// calling thread). 0 or the first error code. The caller checks transferRefusal() first.
using StatusSink = std::function<void(const char*)>;
int32_t transmitSetup(const WorkingMode& mode, uint32_t baudIndex, const CCodeList& initList,
                      const std::string& port, const StatusSink& status);

}  // namespace tov::setup

// The working mode of a setup as label and value texts, for the main window's read-only view.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "setup/tov_doc.h"

namespace tov::setup {

// One line of the summary: the label the working-mode dialog uses and the value as shown there.
using SummaryLine = std::pair<std::string, std::string>;

// Identification, CPU type, JTAG clock, startup mode (with its run time when it stops), the
// breakpoint mode, the byte order, the trapped exceptions and the scan chain.
std::vector<SummaryLine> modeSummary(const WorkingMode& mode);

}  // namespace tov::setup

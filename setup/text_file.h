// The setup text file: the working mode as "[MODE]" key lines and the init list as "[INIT]"
// lines, written with CR LF and read back leniently.
#pragma once

#include <string>
#include <string_view>

#include "setup/code_list.h"
#include "setup/tov_doc.h"

namespace tov::setup {

// The values a "[MODE]" line starts from (the JTAG clock is Adaptive here, not the default 4 MHz).
WorkingMode importDefaults();

// The text of a setup file for a working mode and an init list.
std::string exportText(const WorkingMode& mode, const CCodeList& list);

// What an import changed beyond the working mode.
struct ImportOutcome {
    bool listReplaced = false;  // an "[INIT]" line emptied the list and the items were read
};

// Reads a setup text into `mode` and `list`: "[MODE]" resets the mode to the import defaults,
// "[INIT]" empties the list, and the lines after them set keys and append items.
ImportOutcome importText(std::string_view text, WorkingMode& mode, CCodeList& list);

// Writes the setup text to `path` (replacing it): an empty text, or the message to show.
std::string exportTextFile(const std::string& path, const WorkingMode& mode,
                           const CCodeList& list);
// Reads the setup text at `path`: an empty text, or the message to show.
std::string importTextFile(const std::string& path, WorkingMode& mode, CCodeList& list,
                           ImportOutcome& outcome);

// The captions and texts of the import/export messages.
inline constexpr const char* kFileErrorCaption = "File-Error";
std::string cannotOpenText(const std::string& path);
std::string cannotWriteText(const std::string& path);
std::string cannotReadText(const std::string& path);

}  // namespace tov::setup

// Fuzzes the setup text importer: any text imports without harm, and what it read exports to a
// text that imports to the same working mode and init list.
#include <string>
#include <string_view>

#include "fuzz/support/check.h"
#include "setup/text_file.h"

using namespace tov::setup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    WorkingMode mode;
    CCodeList list;
    importText(text, mode, list);

    const std::string exported = exportText(mode, list);
    WorkingMode modeAgain;
    CCodeList listAgain;
    importText(exported, modeAgain, listAgain);
    FUZZ_CHECK(exportText(modeAgain, listAgain) == exported);
    return 0;
}

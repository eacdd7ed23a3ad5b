// Fuzzes the check of a firmware file under both callers' line rules: a code, never a crash.
#include "fuzz/support/check.h"
#include "fuzz/support/memory_file.h"
#include "maint/firmware_update.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tov::fuzz::MemoryFile file(data, size);
    for (const auto* caller : {&tov::maint::libraryCaller(), &tov::maint::setupCaller()}) {
        const int32_t rc = tov::maint::checkFirmwareFile(file.path(), *caller);
        FUZZ_CHECK(rc == 0 || rc == caller->firmwareFileError);
    }
    return 0;
}

// The explanation of a block the probe did not write, compare or program.
#include "files/write_status.h"

#include <cstdio>

namespace tov::files {
namespace {

const char* statusText(uint8_t status) {
    switch (status) {
        case kWriteStatusNotWritten:
            return "the memory is not there or does not take data";
        case kWriteStatusDiffers:
            return "the memory differs from the data";
        case kWriteStatusNotProgrammed:
            return "the flash could not be programmed (not erased, busy erasing, or no flash "
                   "there)";
        case kWriteStatusBadRequest:
            return "the probe refused the block";
        default:
            return nullptr;
    }
}

}  // namespace

std::string describeWriteFailure(const char* doing, uint32_t address, uint32_t length,
                                 uint8_t status, uint32_t reported) {
    char text[256];
    const uint32_t last = address + (length == 0 ? 0 : length - 1);
    int used = std::snprintf(text, sizeof text, "%s %u bytes at 0x%08X-0x%08X failed", doing,
                             length, address, last);
    if (length != 0 && reported - address < length)
        used += std::snprintf(text + used, sizeof text - used, " at 0x%08X", reported);
    if (const char* why = statusText(status))
        std::snprintf(text + used, sizeof text - used, ": %s", why);
    else
        std::snprintf(text + used, sizeof text - used, ": probe status %u", status);
    return text;
}

}  // namespace tov::files

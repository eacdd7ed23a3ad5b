// The two callers of the loader procedures: the library and the setup program.
#include "maint/loader_link.h"

#include "link/error_codes.h"

namespace tov::maint {
namespace {

// Firmware files of the library: blank lines skipped, records start in column 1, upper-case
// digits, lines of at most 255 characters, characters after the checksum tolerated.
constexpr files::SRecordLineRules kLibraryFirmwareRules{true, false, true, 255, false};
// The setup program's: the record starts at the first 'S' and must end exactly at the line end.
constexpr files::SRecordLineRules kSetupFirmwareRules{false, true, true, 255, true};

constexpr LoaderCaller kLibrary{
    .enterLoaderTimeout = 100,
    .reopenDelayMs = 1000,
    .openTries = 3,
    .connectAttempts = 1,
    .tovBOnly = false,
    .firmwareRules = kLibraryFirmwareRules,
    .firmwareFileError = link::kFirmwareFileFailed,
    .readBackError = link::kFirmwareVerifyFailed,
    .jedecLineLength = 99,
    .jedecLineLengthA = 79,
};

constexpr LoaderCaller kSetup{
    .enterLoaderTimeout = 10,
    .reopenDelayMs = 1000,
    .openTries = 1,
    .connectAttempts = 2,
    .tovBOnly = true,
    .firmwareRules = kSetupFirmwareRules,
    .firmwareFileError = link::kFileAccessFailed,
    .readBackError = link::kVerifyFailed,
    .jedecLineLength = 80,
    .jedecLineLengthA = 80,
};

}  // namespace

const LoaderCaller& libraryCaller() {
    return kLibrary;
}
const LoaderCaller& setupCaller() {
    return kSetup;
}

}  // namespace tov::maint

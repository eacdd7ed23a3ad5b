// The library's firmware and logic update: what is outdated is found from the probe's versions
// and the newest files, and only that is programmed (or what the mode forces).
#pragma once

#include <cstdint>
#include <string>

#include "maint/firmware_update.h"
#include "maint/loader_link.h"

namespace tov::maint {

// Update modes: what is programmed even when it is current. The other part is still updated
// when it is outdated.
enum UpdateMode : uint16_t {
    kUpdateOutdated = 0,
    kForceFirmware = 1,
    kForceLogic = 2,
    kForceBoth = 3,
};

// Updates the probe's firmware and logic for `family` from the newest files found with
// `pathPrefix` (a directory ending in a separator). Opens the link itself and closes it on every
// exit. Results: 0, -1202 (family 36 or above, checked before the link is opened), -1301, -1302
// (no firmware file, or a bad one), -1306 (no logic file, or a bad one), -1304 (logic device
// of another type; it is left unerased), -1305, -1208, -1209, -1205 or a transport code.
int32_t updateFirmwareLogic(LoaderLink& link, const std::string& pathPrefix, uint16_t family,
                            uint16_t mode, const FirmwareProgress& progress = {});

}  // namespace tov::maint

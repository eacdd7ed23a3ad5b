// The library's update decision and its firmware and logic steps.
#include "maint/update.h"

#include "link/error_codes.h"
#include "link/error_detail.h"
#include "maint/family_table.h"
#include "maint/file_search.h"
#include "maint/firmware_update.h"
#include "maint/loader_requests.h"
#include "maint/logic_update.h"

namespace tov::maint {
namespace {

// Before the firmware is touched: enter logic programming, check the device is the model's,
// erase it, leave logic programming. The ID is checked before the erase so that a device of
// another type is never erased; logic programming is left whenever it was entered.
int32_t prepareLogic(LoaderLink& link, ProbeModel model) {
    int32_t rc = logicMode(link, true);
    if (rc < 0) return rc;
    uint8_t deviceId = 0;
    rc = readLogicId(link, deviceId);
    if (rc == link::kOk && deviceId != expectedLogicDeviceId(model)) rc = link::kLogicIdFailed;
    if (rc == link::kOk) rc = eraseLogic(link);
    const int32_t leave = logicMode(link, false);
    return rc < 0 ? rc : leave;
}

// The decision and the steps on a connected loader; the caller closes the link.
int32_t updateConnected(LoaderLink& link, const ProbeIdentity& probe, const std::string& prefix,
                        uint16_t family, uint16_t mode, const FirmwareProgress& progress) {
    const FamilyFiles& files = familyFiles(family, probe.model);
    const FoundFile firmware = findNewestFile(prefix, files.firmwareFile);
    const FoundFile logic = findNewestFile(prefix, files.logicFile);
    if (firmware.version == 0) {
        link::setErrorDetail("firmware: " + describeFailedSearch(firmware));
        return link::kFirmwareFileFailed;
    }
    if (logic.version == 0) {
        link::setErrorDetail("logic: " + describeFailedSearch(logic));
        return link::kLogicFileFailed;
    }

    const int firmwareAhead = int{probe.firmwareWord} - int{files.firmwareBase};
    const int logicAhead = int{probe.logicWord} - int{files.logicBase};
    const bool doFirmware = mode == kForceFirmware || mode == kForceBoth || firmwareAhead > 255 ||
                            firmwareAhead < static_cast<int>(firmware.version);
    const bool doLogic = mode == kForceLogic || mode == kForceBoth || logicAhead > 999 ||
                         logicAhead < static_cast<int>(logic.version);

    // Both files are read whole before anything is erased, so a bad file leaves the probe as
    // it was.
    if (doFirmware && checkFirmwareFile(firmware.path, libraryCaller()) < 0) {
        link::setErrorDetail(std::string(link::errorDetail()) + " (the newest " + firmware.pattern +
                             " in " + firmware.directory + ")");
        return link::kFirmwareFileFailed;
    }
    if (doLogic) {
        int32_t rc = checkLogicFile(probe.model, logic.path, libraryCaller());
        if (rc == link::kOk) rc = prepareLogic(link, probe.model);
        if (rc < 0) return rc;
    }
    if (doFirmware) {
        const int32_t rc =
            programFirmware(link, probe.model, firmware.path, libraryCaller(), progress);
        if (rc < 0) return rc;
    }
    if (doLogic) {
        const auto version = static_cast<uint16_t>(files.logicBase + logic.version);
        return programLogic(link, probe.model, logic.path, version, libraryCaller());
    }
    return link::kOk;
}

}  // namespace

int32_t updateFirmwareLogic(LoaderLink& link, const std::string& pathPrefix, uint16_t family,
                            uint16_t mode, const FirmwareProgress& progress) {
    link::clearErrorDetail();
    if (family >= kFamilyCount) return link::kInvalidParameter;
    ProbeIdentity probe;
    int32_t rc = connectLoader(link, libraryCaller(), probe);
    if (rc == link::kOk) rc = updateConnected(link, probe, pathPrefix, family, mode, progress);
    link.close();
    return rc;
}

}  // namespace tov::maint

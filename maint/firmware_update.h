// Connecting to the probe's loader and programming a firmware file into the probe's flash.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "maint/loader_link.h"
#include "maint/probe_identity.h"

namespace tov::maint {

// Called as a firmware file is programmed: bytes of the file taken so far, and its size. The
// first call, with 0, comes once the sectors are erased and before the first record.
using FirmwareProgress = std::function<void(uint64_t position, uint64_t length)>;

// Opens the link and brings the probe into its loader: opens (the caller's number of tries),
// sends Enter loader and, when the probe switches over, closes, waits and opens once more; then
// reads the versions into `identity`. The caller's connect attempts are repeated while they fail.
// On failure the link is closed and the code returned (-1301 for an unknown version answer;
// the setup program gets versions 0 instead for any probe other than a TOV-B). On success the
// link stays open.
int32_t connectLoader(LoaderLink& link, const LoaderCaller& caller, ProbeIdentity& identity);

// Sends Enter loader on an open link (reopening it when the probe switches over) and reads the
// versions into `identity`, with the same results as one attempt of connectLoader. The link is
// left open, also on failure.
int32_t enterLoaderAndReadVersions(LoaderLink& link, const LoaderCaller& caller,
                                   ProbeIdentity& identity);

// Reads the whole firmware file and checks every record: 0, or the caller's firmware file error
// for a file that is missing, unreadable or holds a bad record.
int32_t checkFirmwareFile(const std::string& path, const LoaderCaller& caller);

// Programs the firmware file at `path` on a probe of `model` in its loader: erases the model's
// four sectors, programs every data record and then the start marker. The file is checked
// whole before the first erase, so a bad file leaves the probe as it was. Results: 0, the caller's
// firmware file error (file missing, unreadable or a bad record), -1208, -1209, -1205 or a
// transport code. The link is left as it is.
int32_t programFirmware(LoaderLink& link, ProbeModel model, const std::string& path,
                        const LoaderCaller& caller, const FirmwareProgress& progress = {});

}  // namespace tov::maint

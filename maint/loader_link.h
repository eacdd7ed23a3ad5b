// How the maintenance procedures reach the probe's loader, and the differences of their two
// callers (the library and the setup program) as data.
#pragma once

#include <cstdint>
#include <span>

#include "files/srecord_reader.h"

namespace tov::maint {

// Probe model code, taken from the length of the loader's version answer.
enum class ProbeModel : uint8_t { X = 0, B = 1, BC = 2, A = 3 };

// How a caller reaches the loader: the library over its own connection, the setup program
// through the exported TOV_Open/TOV_Transaction/TOV_Close.
class LoaderLink {
public:
    virtual ~LoaderLink() = default;
    // Opens the link with the caller's port text: 0 or a negative code.
    virtual int32_t open() = 0;
    // Closes the link; harmless when it is closed.
    virtual void close() = 0;
    // One request and its answer: the answer length, or a negative code.
    virtual int32_t transact(std::span<const uint8_t> request, std::span<uint8_t> answer,
                             int32_t extraTimeout) = 0;
    virtual void sleepMs(uint32_t ms) = 0;
};

// The differences of the two callers of the loader procedures.
struct LoaderCaller {
    int32_t enterLoaderTimeout;             // extra wait of Enter loader (ms)
    uint32_t reopenDelayMs;                 // wait after the probe switched to its loader
    int openTries;                          // opens of one connect attempt before giving up
    int connectAttempts;                    // whole connect attempts (open, enter, versions)
    bool tovBOnly;                          // a version answer of another length means "no
                                            // TOV-B": versions 0, no error (else -1301)
    files::SRecordLineRules firmwareRules;  // how firmware file lines are judged
    int32_t firmwareFileError;              // firmware file missing, unreadable or bad record
    int32_t readBackError;                  // network record read back differently
    size_t jedecLineLength;                 // longest JEDEC line read
    size_t jedecLineLengthA;                // the same on the TOV-A
};

// The library's TOV_UpdateFirmwareLogic, TOV_ConfigNetwork and TOV_GetConfiguration.
const LoaderCaller& libraryCaller();
// The setup program's update dialog and setup transfer.
const LoaderCaller& setupCaller();

}  // namespace tov::maint

// Runs a target program behind a probe until it stops, serving its semihosting calls on the way:
// the loop a debugger front end wraps around the service.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "semihost/probe_access.h"
#include "semihost/service.h"

namespace tov::semihost {

struct RunOptions {
    // The stop cause that means a semihosting call (9 for the ARM11 firmware family).
    uint32_t semihostingCause = 9;
    std::chrono::milliseconds pollInterval{2};
    // Halts the program when it runs longer than this (nothing: no limit).
    std::optional<std::chrono::milliseconds> timeout;
    // Called before each look at the target, so a front end can watch its own input (and raise
    // the stop request) while the program runs.
    std::function<void()> onPoll;
};

// How a run ended.
struct RunOutcome {
    int32_t error = 0;   // a link or probe error ended the run
    uint16_t state = 0;  // the last state read (1 halted; 3 error, cause in stateError)
    int32_t stateError = 0;
    uint32_t cause = 0;  // stop cause, PC and CPSR of the halted target
    uint32_t pc = 0;
    uint32_t cpsr = 0;
    // The semihosting call that ended the run (program stopped, bad call, failed access).
    std::optional<Result> service;
    bool interrupted = false;  // a call was cut short or not served; the PC was moved back onto it
    bool timedOut = false;
};

// Starts the target and polls it. A semihosting stop is served and the target started again;
// any other stop ends the run. When `stopRequest` is set or the time limit passes the target is
// halted; a call cut short by that gets the PC moved back onto the semihosting instruction, so
// resuming repeats the call.
RunOutcome runProgram(ProbeRequests& requests, CallHandler& service,
                      const std::atomic<bool>& stopRequest, const RunOptions& options = {});

}  // namespace tov::semihost

// The seam between the target's run states and a core that really executes instructions: why a
// run stopped, and the engine interface the target model drives.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace tov::sim {

class PointTable;
class RegisterFile;

// Why a ready target stopped (word 0 of the state values).
enum class StopCause : uint32_t {
    HaltRequest = 0,  // halted by the host, or ready after a reset
    Breakpoint = 1,
    Watchpoint = 2,
    Step = 4,
    Exception = 5,    // caught at an exception vector (the vector offset says which)
    Semihosting = 9,  // the program asked the host for a service
};

// How an engine's run ended.
struct EngineStop {
    StopCause cause = StopCause::HaltRequest;
    uint16_t point = 0;   // the breakpoint or watchpoint hit (0: none)
    uint32_t vector = 0;  // the exception vector offset for StopCause::Exception
};

// An instruction-set core behind the target model. It takes its registers from the register
// file before it runs and leaves them there after, so the host's register requests never see
// the engine itself.
class ExecutionEngine {
public:
    virtual ~ExecutionEngine() = default;

    // Runs for about `slice` of time. `fromStart` is true for the first run after a start: a
    // breakpoint at the start address does not stop it then. Nothing: still running.
    virtual std::optional<EngineStop> run(RegisterFile& registers, PointTable& points,
                                          bool fromStart, std::chrono::microseconds slice) = 0;
    // Exactly one instruction, whatever breakpoint sits on it.
    virtual EngineStop step(RegisterFile& registers, PointTable& points) = 0;
};

}  // namespace tov::sim

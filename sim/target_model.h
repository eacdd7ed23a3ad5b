// The simulated target behind the probe: its run state, the program it runs, and the registers,
// break- and watchpoints and terminal text that go with it.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/execution_engine.h"
#include "sim/firmware_terminal.h"
#include "sim/target_points.h"
#include "sim/target_registers.h"

namespace tov::sim {

// Run states as the state request reports them.
enum class TargetState : uint8_t { Reset = 0, Ready = 1, Running = 2, Error = 3 };

// The target's state machine. It starts ready (halted in debug mode) at the reset vector.
//
// Running model: the target executes one instruction after another (PC advancing by 4, or by
// 2 in Thumb state). It does not run on its own clock but in bursts: each state request while
// running executes kInstructionsPerPoll instructions, so tests and tools see a deterministic
// program. A burst stops at the first instruction whose address holds a breakpoint (after
// leaving the start address, so a start from a breakpoint executes it first); the target is
// then ready with cause Breakpoint and that breakpoint's id. Every kPollsPerLine bursts the
// program prints a line on the terminal.
//
// With an execution engine attached, the target runs real instructions instead: the simulator
// gives a running target slices of time (runSlice) between the link's requests, state
// polls only report, and a step executes one instruction on the engine.
//
// Error state: entered on purpose (a direct command injects a fault with its cause code); a
// reset, a startup or clearing the fault leaves it.
class TargetModel {
public:
    static constexpr uint32_t kInstructionsPerPoll = 256;
    static constexpr uint32_t kPollsPerLine = 8;
    static constexpr uint32_t kNoPoint = 0xFFFFFFFF;
    static constexpr size_t kStateValues = 7;

    // What the state request reports.
    struct Report {
        TargetState state;
        int16_t error;
        uint32_t value;  // the reset time given with the last reset or startup
        // cause, PC, CPSR, breakpoint id, watchpoint id, vector, big-endian (1) or little (0)
        std::vector<uint32_t> values;
    };

    TargetState state() const { return state_; }
    bool halted() const { return state_ == TargetState::Ready; }
    int16_t fault() const { return fault_; }

    // Start: ready or held in reset -> running; otherwise -2006.
    int16_t start();
    // Halt: running or held in reset -> ready; ready stays ready; an error state answers its
    // cause and stays.
    int16_t halt();
    // Reset pulse: registers to their reset values, then ready at the reset vector.
    void reset(uint16_t resetTime);
    // One instruction, ready only (else -2101); `pc` receives the PC after it.
    int16_t step(uint32_t& pc);
    // Keeps the target in reset until it is started, halted or released.
    void holdInReset();
    // Held in reset -> ready; false in any other state.
    bool releaseReset();
    // Puts the target into the error state with a cause code.
    void injectFault(int16_t cause);
    // Error -> ready; false when there was no fault.
    bool clearFault();
    // One poll: a running target without an engine executes a burst.
    void poll();
    // Lets `engine` execute the program from now on (nullptr: back to the burst model).
    void setEngine(ExecutionEngine* engine) { engine_ = engine; }
    // True while an engine runs the program and wants slices of time.
    bool executing() const { return engine_ && state_ == TargetState::Running; }
    // A running target with an engine executes for about `slice` of time.
    void runSlice(std::chrono::microseconds slice);
    Report report() const;
    // The byte order the target runs in, reported with the state.
    void setBigEndian(bool big) { bigEndian_ = big; }
    bool bigEndian() const { return bigEndian_; }

    uint32_t debugClock() const { return debugClock_; }
    void setDebugClock(uint32_t speed) { debugClock_ = speed; }
    uint32_t polls() const { return polls_; }

    RegisterFile& registers() { return registers_; }
    const RegisterFile& registers() const { return registers_; }
    PointTable& points() { return points_; }
    TerminalBuffer& terminal() { return terminal_; }

private:
    void stop(StopCause cause, uint32_t breakpoint);
    void stop(const EngineStop& engineStop);

    TargetState state_ = TargetState::Ready;
    int16_t fault_ = 0;
    StopCause cause_ = StopCause::HaltRequest;
    uint32_t hitBreakpoint_ = kNoPoint;
    uint32_t hitWatchpoint_ = kNoPoint;
    uint32_t vector_ = 0;
    ExecutionEngine* engine_ = nullptr;
    bool freshStart_ = false;  // no instruction executed since the last start
    bool bigEndian_ = false;
    uint16_t resetTime_ = 0;
    uint32_t debugClock_ = 0;
    uint32_t polls_ = 0;
    RegisterFile registers_;
    PointTable points_;
    TerminalBuffer terminal_;
};

}  // namespace tov::sim

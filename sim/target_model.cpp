// Run states and the burst-wise running program of the simulated target.
#include "sim/target_model.h"

#include <cstdio>

#include "sim/wire.h"

namespace tov::sim {

int16_t TargetModel::start() {
    if (state_ != TargetState::Ready && state_ != TargetState::Reset) return kStatusWrongState;
    state_ = TargetState::Running;
    hitBreakpoint_ = kNoPoint;
    freshStart_ = true;
    return kStatusOk;
}

int16_t TargetModel::halt() {
    switch (state_) {
        case TargetState::Error:
            return fault_;
        case TargetState::Running:
        case TargetState::Reset:
            stop(StopCause::HaltRequest, kNoPoint);
            return kStatusOk;
        case TargetState::Ready:
            return kStatusOk;
    }
    return kStatusOk;
}

void TargetModel::reset(uint16_t resetTime) {
    registers_.reset();
    resetTime_ = resetTime;
    fault_ = 0;
    stop(StopCause::HaltRequest, kNoPoint);
}

int16_t TargetModel::step(uint32_t& pc) {
    if (state_ != TargetState::Ready) {
        pc = registers_.pc();
        return kStatusNotInDebugMode;
    }
    if (engine_) {
        stop(engine_->step(registers_, points_));
    } else {
        registers_.setPc(registers_.pc() + registers_.instructionSize());
        stop(StopCause::Step, kNoPoint);
    }
    pc = registers_.pc();
    return kStatusOk;
}

void TargetModel::holdInReset() {
    registers_.reset();
    fault_ = 0;
    state_ = TargetState::Reset;
}

bool TargetModel::releaseReset() {
    if (state_ != TargetState::Reset) return false;
    stop(StopCause::HaltRequest, kNoPoint);
    return true;
}

void TargetModel::injectFault(int16_t cause) {
    fault_ = cause;
    state_ = TargetState::Error;
}

bool TargetModel::clearFault() {
    if (state_ != TargetState::Error) return false;
    fault_ = 0;
    stop(StopCause::HaltRequest, kNoPoint);
    return true;
}

void TargetModel::stop(StopCause cause, uint32_t breakpoint) {
    state_ = TargetState::Ready;
    cause_ = cause;
    hitBreakpoint_ = breakpoint;
    hitWatchpoint_ = kNoPoint;
    vector_ = 0;
}

void TargetModel::stop(const EngineStop& engineStop) {
    const bool breakpoint = engineStop.cause == StopCause::Breakpoint;
    stop(engineStop.cause, breakpoint ? engineStop.point : kNoPoint);
    if (breakpoint) {
        if (PointTable::Breakpoint* hit = points_.breakpoint(engineStop.point)) ++hit->hits;
    }
    if (engineStop.cause == StopCause::Watchpoint) hitWatchpoint_ = engineStop.point;
    vector_ = engineStop.vector;
}

void TargetModel::runSlice(std::chrono::microseconds slice) {
    if (!executing()) return;
    std::optional<EngineStop> stopped = engine_->run(registers_, points_, freshStart_, slice);
    freshStart_ = false;
    if (stopped) stop(*stopped);
}

void TargetModel::poll() {
    if (state_ != TargetState::Running || engine_) return;
    ++polls_;
    for (uint32_t i = 0; i < kInstructionsPerPoll; ++i) {
        const uint32_t pc = registers_.pc() + registers_.instructionSize();
        registers_.setPc(pc);
        if (auto id = points_.breakpointAt(pc)) {
            ++points_.breakpoint(*id)->hits;
            stop(StopCause::Breakpoint, *id);
            return;
        }
    }
    if (polls_ % kPollsPerLine == 0) {
        char line[48];
        std::snprintf(line, sizeof line, "target running, pc 0x%08X\r\n", registers_.pc());
        terminal_.print(line);
    }
}

TargetModel::Report TargetModel::report() const {
    Report r{state_, state_ == TargetState::Error ? fault_ : int16_t{0}, resetTime_, {}};
    r.values = {static_cast<uint32_t>(cause_),
                registers_.pc(),
                registers_.cpsr(),
                hitBreakpoint_,
                hitWatchpoint_,
                vector_,
                bigEndian_ ? 1u : 0u};
    return r;
}

}  // namespace tov::sim

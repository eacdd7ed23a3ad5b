// RDI_Execute and RDI_Step: running the target, polling it while yielding to the debugger,
// serving the program's semihosting calls, and the stop code of where it ended.
#include <iterator>
#include <mutex>

#include "rdi/procedures.h"
#include "rdi/stop_codes.h"
#include "semihost/probe_access.h"

namespace tov::rdi {
namespace {

constexpr uint16_t kHalted = 1;
constexpr uint16_t kRunning = 2;
constexpr uint16_t kStateValues = 10;
constexpr size_t kCauseWord = 0, kPcWord = 1, kCpsrWord = 2, kVectorWord = 5;
constexpr uint32_t kThumbBit = 1u << 5;
constexpr RDI_PointHandle kNoPoint = static_cast<RDI_PointHandle>(-1);

struct TargetState {
    uint16_t state = kRunning;
    uint16_t count = 0;
    uint32_t values[kStateValues] = {};
    uint32_t word(size_t index) const { return index < count ? values[index] : 0; }
};

int32_t readState(target::TargetLink& target, TargetState& out) {
    int32_t error = 0;
    uint32_t value = 0;
    out.count = kStateValues;
    return target.state(out.state, error, value, out.count, out.values);
}

// A console read cut short by the stop request: the PC goes back onto the semihosting
// instruction, so that the read is made again when the program resumes.
int32_t repeatCall(target::TargetLink& target, const TargetState& halted) {
    const uint32_t size = (halted.word(kCpsrWord) & kThumbBit) ? 2 : 4;
    const int32_t pc = static_cast<int32_t>(halted.word(kPcWord) - size);
    const RegisterDescriptor reg{semihost::ProbeAccess::kCurrentMode, 15};
    return target.registerSet(1, &reg, &pc);
}

// How long each event poll of a running target may wait on the network. Right after the target
// was started it often stops again at once (the next semihosting call, a near breakpoint), so the
// first polls do not wait; the wait then grows back to the link's full one, which spares the
// network while a program keeps running.
class PollPace {
public:
    void restart() { poll_ = 0; }
    uint32_t next() {
        static constexpr uint32_t kWaitsMs[] = {0, 1, 4, 16};
        return poll_ < std::size(kWaitsMs) ? kWaitsMs[poll_++]
                                           : link::LinkContext::kFullEventPollWait;
    }

private:
    size_t poll_ = 0;
};

void setOutputs(RdiSession& s, RDI_ModuleHandle* module, RDI_PointHandle* point) {
    if (point) *point = kNoPoint;
    if (module) *module = &s.module();
}

// The poll loop of a started target; its result is the link error that ended it (0 when the
// target stopped), or, through `serviceCode`, a nonzero code of the semihosting service.
int32_t pollUntilStopped(RdiSession& s, std::unique_lock<std::mutex>& hold, TargetState& ts,
                         int& serviceCode) {
    target::TargetLink& target = s.connection().target();
    semihost::LinkRequests requests(target);
    semihost::ProbeAccess access(requests);
    const uint16_t family = s.module().info.family;
    PollPace pace;
    while (ts.state == kRunning) {
        hold.unlock();
        s.yield();
        hold.lock();
        if (s.stopRequest) {
            if (int32_t rc = target.halt(); rc != 0) return rc;
        }
        s.connection().link().takePendingEvents(pace.next());
        if (int32_t rc = readState(target, ts); rc != 0) return rc;
        if (ts.state == kRunning) continue;
        if (ts.state != kHalted || !isSemihostingStop(family, ts.word(kCauseWord))) break;

        s.semihosting().setBigEndian(s.bigEndian);
        const semihost::Result result = s.semihosting().serve(access);
        serviceCode = result.status == semihost::Status::AccessFailed ? s.mapError(result.error)
                                                                      : semihost::rdiCode(result);
        if (serviceCode != 0) return 0;
        if (!s.stopRequest) {
            if (int32_t rc = target.start(); rc != 0) return rc;
            ts.state = kRunning;
            pace.restart();
        } else if (result.status == semihost::Status::Interrupted) {
            return repeatCall(target, ts);
        }
    }
    return 0;
}

}  // namespace

int execute(RDI_AgentHandle, RDI_ModuleHandle* module, int stopOthers, RDI_PointHandle* point) {
    return guarded([&]() -> int {
        RdiSession& s = session();
        if (!s.isOpen()) return RDIError_NotInitialised;
        std::unique_lock<std::mutex> hold(s.lock());
        s.trace("RDI_Execute()");
        if (stopOthers) return RDIError_UnimplementedMessage;
        s.stopRequest = false;
        TargetState ts;
        int serviceCode = 0;
        int32_t rc = s.connection().target().start();
        if (rc == 0) rc = pollUntilStopped(s, hold, ts, serviceCode);
        setOutputs(s, module, point);
        if (serviceCode != 0) {
            s.trace(" => OKAY (%i)\n", serviceCode);
            return serviceCode;
        }
        if (rc != 0) {
            s.traceExit(rc);
            return s.mapError(rc);
        }
        const int code = ts.state != kHalted ? RDIError_TargetBroken
                                             : stopCode(s.module().info.family, ts.word(kCauseWord),
                                                        ts.word(kVectorWord));
        s.trace(" => OKAY (%i)\n", code);
        return code;
    });
}

int step(RDI_AgentHandle, RDI_ModuleHandle* module, int stopOthers, unsigned count,
         RDI_PointHandle* point) {
    return withSession([&](RdiSession& s) -> int {
        s.trace("RDI_Step(n=%u)", count);
        if (stopOthers) return RDIError_UnimplementedMessage;
        // The probe steps one instruction whatever count the debugger asks for.
        uint32_t result = 0;
        const int32_t rc = s.connection().target().step(0, 0, 1, result);
        s.traceExit(rc);
        setOutputs(s, module, point);
        return s.mapError(rc);
    });
}

}  // namespace tov::rdi

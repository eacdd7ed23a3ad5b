// The run-serve-resume loop of a semihosting front end.
#include "semihost/run_loop.h"

#include <thread>

namespace tov::semihost {
namespace {

constexpr uint16_t kHalted = 1;
constexpr uint16_t kRunning = 2;
constexpr uint32_t kThumbBit = 1u << 5;
constexpr uint16_t kStateValues = 10;

}  // namespace

RunOutcome runProgram(ProbeRequests& requests, CallHandler& service,
                      const std::atomic<bool>& stopRequest, const RunOptions& options) {
    using Clock = std::chrono::steady_clock;
    RunOutcome outcome;
    ProbeAccess access(requests);
    const auto deadline =
        options.timeout ? Clock::now() + *options.timeout : Clock::time_point::max();
    if ((outcome.error = requests.start()) != 0) return outcome;
    for (;;) {
        uint16_t count = kStateValues;
        uint32_t values[kStateValues] = {};
        if (options.onPoll) options.onPoll();
        if (stopRequest || Clock::now() >= deadline) {
            outcome.timedOut = !stopRequest;
            if ((outcome.error = requests.halt()) != 0) return outcome;
        }
        if ((outcome.error = requests.state(outcome.state, outcome.stateError, count, values)) !=
            0) {
            return outcome;
        }
        if (outcome.state == kRunning) {
            std::this_thread::sleep_for(options.pollInterval);
            continue;
        }
        if (outcome.state != kHalted) return outcome;
        outcome.cause = count > 0 ? values[0] : 0;
        outcome.pc = count > 1 ? values[1] : 0;
        outcome.cpsr = count > 2 ? values[2] : 0;
        if (outcome.cause != options.semihostingCause) return outcome;

        // A call the time limit caught is not served: like one cut short, it is made again when
        // the program resumes.
        const Result result = outcome.timedOut ? Result{Status::Interrupted, 0, 0, std::nullopt}
                                               : service.serve(access);
        if (result.status == Status::Interrupted) {
            outcome.interrupted = true;
            outcome.pc -= (outcome.cpsr & kThumbBit) ? 2 : 4;
            const RegisterDescriptor pc{ProbeAccess::kCurrentMode, 15};
            const int32_t value = static_cast<int32_t>(outcome.pc);
            outcome.error = requests.registerSet(1, &pc, &value);
            return outcome;
        }
        if (result.status != Status::Done) {
            outcome.service = result;
            return outcome;
        }
        if (stopRequest) return outcome;
        if ((outcome.error = requests.start()) != 0) return outcome;
    }
}

}  // namespace tov::semihost

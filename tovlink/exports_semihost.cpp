// Exported run-and-serve call: the semihosting service and its run loop on the library's own
// connection, with the console given by the caller as callbacks.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <string>

#include "include/tovlink.h"
#include "link/error_codes.h"
#include "link/error_detail.h"
#include "semihost/run_loop.h"
#include "semihost/service.h"
#include "tovlink/export_guard.h"
#include "tovlink/link_state.h"

using tov::lib::guarded;
namespace sh = tov::semihost;
namespace tl = tov::link;

namespace {

constexpr uint32_t kKnownFlags = TOV_RUN_ALLOW_SYSTEM;

// The caller's callbacks as the service's console. A count outside 0..n from a callback is
// clamped, so a confused caller cannot make the service read or write past its buffers.
class CallbackConsole : public sh::Console {
public:
    explicit CallbackConsole(const TOV_ConsoleCallbacks* callbacks)
        : callbacks_(callbacks ? *callbacks : TOV_ConsoleCallbacks{}) {}

    void writeChar(uint8_t character) override { writeBlock(std::span(&character, 1)); }

    size_t writeBlock(std::span<const uint8_t> data) override {
        if (!callbacks_.write) return data.size();
        size_t done = 0;
        // The callback's count is 32-bit; the service never hands over more at once, but stay
        // correct if it did.
        while (done < data.size()) {
            const size_t piece = std::min<size_t>(data.size() - done, INT32_MAX);
            const int32_t n = callbacks_.write(reinterpret_cast<const char*>(data.data() + done),
                                               static_cast<uint32_t>(piece), callbacks_.user);
            if (n <= 0) break;
            done += std::min(static_cast<size_t>(n), piece);
            if (static_cast<size_t>(n) < piece) break;
        }
        return done;
    }

    size_t readLine(std::span<uint8_t> out) override {
        if (!callbacks_.read || out.empty()) return 0;
        const size_t size = std::min<size_t>(out.size(), INT32_MAX);
        const int32_t n = callbacks_.read(reinterpret_cast<char*>(out.data()),
                                          static_cast<uint32_t>(size), callbacks_.user);
        return n <= 0 ? 0 : std::min(static_cast<size_t>(n), size);
    }

    int readChar() override {
        uint8_t character = 0;
        return readLine(std::span(&character, 1)) == 1 ? character : 0;
    }

    bool stopAsked() const { return callbacks_.poll && callbacks_.poll(callbacks_.user) != 0; }

private:
    TOV_ConsoleCallbacks callbacks_;
};

// How the loop's outcome reads for the caller; the call's result code.
int32_t describe(const sh::RunOutcome& outcome, bool stopAsked, TOV_RunResult& result) {
    result = TOV_RunResult{};
    result.cause = outcome.cause;
    result.pc = outcome.pc;
    result.cpsr = outcome.cpsr;
    result.state = outcome.state;
    result.stateError = outcome.stateError;
    if (outcome.error != 0) {
        result.end = TOV_RUN_FAILED;
        return outcome.error;
    }
    if (outcome.service) {
        const sh::Result& served = *outcome.service;
        switch (served.status) {
            case sh::Status::Stopped:
                result.reason = served.reason;
                result.end = served.reason == sh::Service::kApplicationExit ? TOV_RUN_EXITED
                                                                            : TOV_RUN_EXCEPTION;
                result.exitStatus = served.exit.value_or(0);
                return 0;
            case sh::Status::BadCall:
                result.end = TOV_RUN_BAD_CALL;
                return 0;
            case sh::Status::AccessFailed:
                result.end = TOV_RUN_FAILED;
                return served.error != 0 ? served.error : tl::kInvalidParameter;
            default:
                break;
        }
    }
    if (outcome.timedOut) {
        result.end = TOV_RUN_TIMED_OUT;
    } else if (stopAsked) {
        result.end = TOV_RUN_STOPPED;
    } else if (outcome.state == 3) {
        result.end = TOV_RUN_TARGET_ERROR;
    } else {
        result.end = TOV_RUN_HALTED;
    }
    return 0;
}

}  // namespace

extern "C" {

int32_t TOV_RunSemihosted(const TOV_ConsoleCallbacks* console, const char* root,
                          const char* commandLine, uint32_t timeoutMs, uint32_t flags,
                          TOV_RunResult* result) {
    return guarded([&]() -> int32_t {
        tl::clearErrorDetail();
        if (!result || (flags & ~kKnownFlags) != 0) return tl::kInvalidParameter;
        *result = TOV_RunResult{};
        result->end = TOV_RUN_FAILED;
        if (!tov::lib::linkState().isOpen()) return tl::kNotConnected;

        CallbackConsole callbacks(console);
        std::atomic<bool> stop{false};
        sh::Service service(callbacks, stop);
        // Never the host's whole file system: without a root, the current directory is one.
        service.setFileRoot(root && *root ? root : ".");
        service.setSystemAllowed((flags & TOV_RUN_ALLOW_SYSTEM) != 0);
        if (commandLine) service.setCommandLine(commandLine);

        sh::RunOptions options;
        if (timeoutMs != 0) options.timeout = std::chrono::milliseconds(timeoutMs);
        bool stopAsked = false;
        options.onPoll = [&] {
            if (!stopAsked && callbacks.stopAsked()) stop = stopAsked = true;
        };
        sh::LinkRequests requests(tov::lib::targetLink());
        const sh::RunOutcome outcome = sh::runProgram(requests, service, stop, options);
        service.closeFiles();
        return describe(outcome, stopAsked, *result);
    });
}

}  // extern "C"

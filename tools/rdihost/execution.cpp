// Running the target program through the library: the stop raised on a time limit or Ctrl-C
// from a watcher thread, the stop described afterwards, and the program's own exit status.
#include "execution.h"

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

namespace tov::rdihost {
namespace {

constexpr unsigned kCurrentMode = 255;
constexpr uint32_t kPcBit = 1u << 16;
constexpr uint32_t kReportException = 0x18;
constexpr uint32_t kExitExtended = 0x20;
constexpr uint32_t kApplicationExit = 0x20026;

volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
}

// Ctrl-C raises the stop request while the program runs, instead of ending rdihost.
class InterruptCatcher {
public:
    InterruptCatcher() {
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptCatcher() { sigaction(SIGINT, &previous_, nullptr); }

private:
    struct sigaction previous_ {};
};

// The debugger's turn between two polls of the running target: rdihost has no window to
// serve, so it only lets a millisecond pass instead of polling the probe flat out.
void yieldTurn(WinRDI_YieldArg*) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

const char* stopName(int code) {
    switch (code) {
        case 1: return "reset";
        case 2: return "undefined instruction";
        case 3: return "software interrupt";
        case 4: return "prefetch abort";
        case 5: return "data abort";
        case 6: return "address exception";
        case 7: return "IRQ";
        case 8: return "FIQ";
        case 143: return "breakpoint";
        case 144: return "watchpoint";
        case 147: return "stopped by the user";
        case 162: return "target broken";
        case 163: return "program stopped";
        default: return "RDI error";
    }
}

bool readRegisters(Debugger& d, uint32_t mask, ARMword* values) {
    return d.rdi().CPUread(d.module(), kCurrentMode, mask, values) == RDIError_NoError;
}

// The program's end as its last semihosting call tells it (r0 the call, r1 its parameter).
void reportProgramEnd(Debugger& d) {
    ARMword r[2] = {};
    if (!readRegisters(d, 0x3, r)) {
        std::printf("program stopped\n");
        return;
    }
    uint32_t reason = r[1];
    std::optional<int> status;
    if (r[0] == kExitExtended) {
        ARMword block[2] = {};
        unsigned count = sizeof block;
        if (d.rdi().read(d.module(), r[1], block, &count, 0) == RDIError_NoError) {
            reason = block[0];
            status = static_cast<int>(block[1]);
        }
    } else if (r[0] == kReportException && reason == kApplicationExit) {
        status = 0;  // an exit that carries no status of its own
    }
    if (reason == kApplicationExit && status) {
        std::printf("program exited with status %d\n", *status);
        d.programExit = *status;
    } else {
        std::printf("program stopped: reason 0x%lX\n", static_cast<unsigned long>(reason));
    }
}

void reportStop(Debugger& d, int code) {
    d.endConsoleLine();
    std::fflush(stdout);
    if (code == 163) {
        reportProgramEnd(d);
        return;
    }
    ARMword pc = 0;
    if (readRegisters(d, kPcBit, &pc)) {
        std::printf("stopped: %s (%d) at 0x%08lX\n", stopName(code), code,
                    static_cast<unsigned long>(pc));
    } else {
        std::printf("stopped: %s (%d)\n", stopName(code), code);
    }
}

bool parseAddress(const std::string& text, unsigned long& value) {
    if (parseNumber(text, value) && value <= 0xFFFFFFFFul) return true;
    std::fprintf(stderr, "rdihost: not an address: %s\n", text.c_str());
    return false;
}

bool pointResult(const char* what, int rc, RDI_PointHandle handle) {
    if (rc != RDIError_NoError) {
        std::printf("%s failed: RDI error %d\n", what, rc);
        return false;
    }
    std::printf("%s %lu\n", what, static_cast<unsigned long>(handle));
    return true;
}

}  // namespace

bool parseNumber(const std::string& text, unsigned long& value) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0';
}

bool runProgram(Debugger& d, const Words& w) {
    std::optional<std::chrono::milliseconds> limit;
    for (size_t i = 1; i < w.size(); ++i) {
        char* end = nullptr;
        const double seconds =
            w[i] == "--timeout" && i + 1 < w.size() ? std::strtod(w[++i].c_str(), &end) : -1;
        if (!end || *end != '\0' || seconds <= 0) {
            std::fprintf(stderr, "rdihost: usage: run [--timeout SECONDS]\n");
            return false;
        }
        limit = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    }
    d.stopRaised() = false;
    InterruptCatcher catcher;
    std::atomic<bool> finished{false};
    // The library polls the probe on this thread; the stop comes from another, as a debugger's
    // user interface raises it.
    std::thread watcher([&] {
        const auto deadline = limit ? std::chrono::steady_clock::now() + *limit
                                    : std::chrono::steady_clock::time_point::max();
        while (!finished) {
            if (interrupted || std::chrono::steady_clock::now() >= deadline) {
                d.raiseStop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    RDI_ModuleHandle module = nullptr;
    RDI_PointHandle point = 0;
    d.library().registerYield(yieldTurn, nullptr);
    const int rc = d.rdi().execute(d.agent(), &module, 0, &point);
    d.library().registerYield(nullptr, nullptr);
    finished = true;
    watcher.join();
    if (rc == 200 || rc == RDIError_NotInitialised) {
        std::printf("run failed: RDI error %d\n", rc);
        return false;
    }
    reportStop(d, rc);
    return true;
}

bool stepCommand(Debugger& d, const Words&) {
    RDI_ModuleHandle module = nullptr;
    RDI_PointHandle point = 0;
    const int rc = d.rdi().step(d.agent(), &module, 0, 1, &point);
    if (rc != RDIError_NoError) {
        std::printf("step failed: RDI error %d\n", rc);
        return false;
    }
    ARMword pc = 0;
    if (readRegisters(d, kPcBit, &pc)) std::printf("pc 0x%08lX\n", static_cast<unsigned long>(pc));
    return true;
}

bool breakCommand(Debugger& d, const Words& w) {
    unsigned long address = 0;
    if (!parseAddress(w[1], address)) return false;
    unsigned type = RDIPoint_EQ;
    for (size_t i = 2; i < w.size(); ++i) {
        if (w[i] != "--thumb") {
            std::fprintf(stderr, "rdihost: usage: break ADDR [--thumb]\n");
            return false;
        }
        type |= RDIPoint_16Bit;
    }
    RDI_PointHandle handle = 0;
    const int rc =
        d.rdi().setbreak(d.module(), static_cast<ARMword>(address), type, 0, 0, &handle);
    return pointResult("breakpoint", rc, handle);
}

bool watchCommand(Debugger& d, const Words& w) {
    unsigned long address = 0;
    if (!parseAddress(w[1], address)) return false;
    bool reads = false, writes = false;
    unsigned long size = 4;
    for (size_t i = 2; i < w.size(); ++i) {
        if (w[i] == "--read") {
            reads = true;
        } else if (w[i] == "--write") {
            writes = true;
        } else if (w[i] == "--size" && i + 1 < w.size() && parseNumber(w[i + 1], size) &&
                   (size == 1 || size == 2 || size == 4)) {
            ++i;
        } else {
            std::fprintf(stderr,
                         "rdihost: usage: watch ADDR [--read] [--write] [--size 1|2|4]\n");
            return false;
        }
    }
    if (!reads && !writes) reads = writes = true;
    // The RDI data type: bit 0, 1 or 2 for reads of 1, 2 or 4 bytes, three bits up for writes.
    const unsigned sizeBit = size == 1 ? 1u : size == 2 ? 2u : 4u;
    const unsigned dataType = (reads ? sizeBit : 0u) | (writes ? sizeBit << 3 : 0u);
    RDI_PointHandle handle = 0;
    const int rc = d.rdi().setwatch(d.module(), static_cast<ARMword>(address), RDIPoint_EQ,
                                    dataType, 0, 0, &handle);
    return pointResult("watchpoint", rc, handle);
}

bool clearCommand(Debugger& d, const Words& w) {
    unsigned long handle = 0;
    if ((w[1] != "break" && w[1] != "watch") || !parseNumber(w[2], handle)) {
        std::fprintf(stderr, "rdihost: usage: clear break|watch HANDLE\n");
        return false;
    }
    const bool isBreak = w[1] == "break";
    const int rc = isBreak ? d.rdi().clearbreak(d.module(), handle)
                           : d.rdi().clearwatch(d.module(), handle);
    if (rc != RDIError_NoError) {
        std::printf("clear failed: RDI error %d\n", rc);
        return false;
    }
    return true;
}

bool stopCommand(Debugger& d, const Words&) {
    d.raiseStop();
    return true;
}

}  // namespace tov::rdihost

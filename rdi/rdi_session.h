// The one debug session of the RDI library: agent and module records, settings, the lock, the
// call log, the error mapping, and the download bracket with its command files.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <mutex>

#include "files/connection.h"
#include "include/tovrdi.h"
#include "rdi/host_console.h"
#include "rdi/register_map.h"
#include "semihost/service.h"

// The agent record: the RDI agent handle is its address.
struct RDI_AgentRecord {
    tov::files::Connection* connection = nullptr;
};

// The module record: the RDI module handle is its address.
struct RDI_ModuleRecord {
    static constexpr uint32_t kBufferSize = 1024;
    static constexpr size_t kCommandPathSize = 260;

    tov::files::Connection* connection = nullptr;
    bool downloadActive = false;
    int32_t downloadResult = 0;
    uint32_t failingAddress = 0;
    uint32_t downloadBytes = 0;
    uint64_t downloadStartMs = 0;
    uint32_t bufferedAddress = 0;
    uint32_t bufferedLength = 0;
    uint8_t buffer[kBufferSize] = {};
    char commandPath[kCommandPathSize] = {};
    TargetInfo info = {};
};

namespace tov::rdi {

class RdiSession {
public:
    static constexpr size_t kNetworkTargetLimit = 23;
    static constexpr size_t kCommandPathLimit = RDI_ModuleRecord::kCommandPathSize - 1;

    // The library's session uses the real serial devices and clock; tests give their own.
    explicit RdiSession(link::SerialDeviceFactory& devices = link::termiosDeviceFactory(),
                        link::Clock& clock = link::systemClock());

    files::Connection& connection() { return connection_; }
    RDI_AgentRecord& agent() { return agent_; }
    RDI_ModuleRecord& module() { return module_; }

    // Between RDI_OpenAgent and RDI_CloseAgent; procedures refuse to run outside.
    bool isOpen() const { return open_; }
    void setOpen(bool open) { open_ = open; }
    std::mutex& lock() { return lock_; }
    void setHost(const RDI_HostosInterface* host) {
        host_ = host;
        console_.setHost(host);
    }
    // The target program's semihosting calls are served here, on the debugger's console.
    semihost::Service& semihosting() { return semihosting_; }

    // Lets the debugger run between two polls of a running target: its yield callback, or
    // without one and with version 150, one pass of the host's event loop.
    void yield();
    void setYieldCallback(WinRDI_YieldProc* callback, WinRDI_YieldArg* argument);
    void setEventPass(void (*pass)()) { eventPass_ = pass; }

    // Lines through the debugger's debug print: `trace` only with the call log on.
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A line the user must see even before an agent was opened: through the debug print when
    // the debugger gave a host interface, else on standard error.
    void notice(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The exit line of a procedure: " => OKAY\n" or " => FAILED (text)\n".
    void traceExit(int32_t code);
    // The exit line with the value returned on success: " => OKAY (n)\n".
    void traceExitValue(int32_t code, int result);
    const char* errorText(int32_t code);

    // Logs "### Error: ..." for a nonzero code and maps it to an RDI code.
    int mapError(int32_t code);
    // Records the requested byte sex (type bits 2-3) against the target's and gives the RDI
    // result: 0, 130 wrong byte sex, or 240/241 with "don't care".
    int settleByteSex(unsigned type);

    // The download bracket, with the lock held by the caller.
    int32_t beginDownload();
    void endDownload();
    // A write while the download is active: merged into the buffer or sent as it is.
    int32_t downloadWrite(uint32_t address, const uint8_t* data, uint32_t count);
    // Runs the command path plus `name` line by line as direct commands; a missing file is
    // skipped silently.
    void runCommandFile(const char* name, const char* announcement);

    bool bigEndian = false;
    int byteSex = 2;
    int semihostingState = 1;
    uint32_t semihostingVector = 8;
    std::atomic<int> callLog{0};
    Cp15Selection cp15;
    uint32_t addressSetting = 0x20;
    // The RDI version in use: 150, or 151 once the debugger asked for it.
    std::atomic<int> rdiVersion{150};
    // Raised by the debugger (from its yield callback or another thread) while a program runs;
    // written without the lock.
    std::atomic<bool> stopRequest{false};

private:
    void print(const char* format, va_list args);
    int32_t sendDownload(uint32_t address, const uint8_t* data, uint32_t count);

    files::Connection connection_;
    RDI_AgentRecord agent_;
    RDI_ModuleRecord module_;
    std::atomic<bool> open_{false};
    std::mutex lock_;
    const RDI_HostosInterface* host_ = nullptr;
    HostConsole console_;
    semihost::Service semihosting_{console_, stopRequest};
    std::mutex yieldLock_;
    WinRDI_YieldProc* yieldCallback_ = nullptr;
    WinRDI_YieldArg* yieldArgument_ = nullptr;
    void (*eventPass_)() = nullptr;
    char unknownText_[64] = {};
};

// Makes the library's session open its serial ports through `devices` and keep time on `clock`.
// Only before the session's first use: the fuzz targets put a scripted probe behind the library.
void useLine(link::SerialDeviceFactory& devices, link::Clock& clock);

// The library's session.
RdiSession& session();

}  // namespace tov::rdi

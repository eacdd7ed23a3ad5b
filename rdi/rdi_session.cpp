// The session's shared services: log, error mapping, byte sex, download bracket, command files.
#include "rdi/rdi_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "link/error_codes.h"
#include "link/flavour.h"
#include "rdi/command_file.h"

namespace tov::rdi {
namespace {

constexpr uint16_t kReplyCapacity = 128;
// Largest piece handed to one download call: the call takes a 16-bit length, and a multiple
// of the block size keeps the probe's blocks full.
constexpr uint32_t kDownloadPiece = 0xFC00;

link::SerialDeviceFactory* lineDevices = nullptr;
link::Clock* lineClock = nullptr;

}  // namespace

RdiSession::RdiSession(link::SerialDeviceFactory& devices, link::Clock& clock)
    : connection_(link::rdiFlavour(), devices, clock) {
    agent_.connection = &connection_;
    module_.connection = &connection_;
}

void useLine(link::SerialDeviceFactory& devices, link::Clock& clock) {
    lineDevices = &devices;
    lineClock = &clock;
}

RdiSession& session() {
    static RdiSession instance(lineDevices ? *lineDevices : link::termiosDeviceFactory(),
                               lineClock ? *lineClock : link::systemClock());
    return instance;
}

void RdiSession::print(const char* format, va_list args) {
    if (host_ && host_->dbgprint) host_->dbgprint(host_->dbgarg, format, args);
}

void RdiSession::log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    print(format, args);
    va_end(args);
}

void RdiSession::trace(const char* format, ...) {
    if (!callLog) return;
    va_list args;
    va_start(args, format);
    print(format, args);
    va_end(args);
}

void RdiSession::notice(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (host_ && host_->dbgprint) {
        print(format, args);
    } else {
        std::vfprintf(stderr, format, args);
    }
    va_end(args);
}

void RdiSession::setYieldCallback(WinRDI_YieldProc* callback, WinRDI_YieldArg* argument) {
    std::lock_guard<std::mutex> hold(yieldLock_);
    yieldCallback_ = callback;
    yieldArgument_ = callback ? argument : nullptr;
}

void RdiSession::yield() {
    WinRDI_YieldProc* callback = nullptr;
    WinRDI_YieldArg* argument = nullptr;
    {
        std::lock_guard<std::mutex> hold(yieldLock_);
        callback = yieldCallback_;
        argument = yieldArgument_;
    }
    if (callback) {
        callback(argument);
    } else if (rdiVersion == 150 && eventPass_) {
        eventPass_();
    }
}

const char* RdiSession::errorText(int32_t code) {
    return connection_.errorText(code, unknownText_, sizeof unknownText_);
}

void RdiSession::traceExit(int32_t code) {
    if (code == 0) {
        trace(" => OKAY\n");
    } else {
        trace(" => FAILED (%s)\n", errorText(code));
    }
}

void RdiSession::traceExitValue(int32_t code, int result) {
    if (code == 0) {
        trace(" => OKAY (%i)\n", result);
    } else {
        trace(" => FAILED (%s)\n", errorText(code));
    }
}

int RdiSession::mapError(int32_t code) {
    if (code == 0) return RDIError_NoError;
    log("### Error: %s\n", errorText(code));
    switch (code) {
        case -2041:
            return RDIError_DataAbort;
        case -2042:
        case -2043:
            return RDIError_TargetBroken;
        case -2104:
            return RDIError_CantSetPoint;
        default:
            break;
    }
    return code <= -2000 ? RDIError_TargetBroken : TOVRDI_LinkError;
}

int RdiSession::settleByteSex(unsigned type) {
    const int requested = static_cast<int>((type & RDIOpen_ByteSexMask) >> RDIOpen_ByteSexShift);
    byteSex = requested;
    if (requested == 2) {
        byteSex = bigEndian ? 1 : 0;
        return bigEndian ? RDIError_BigEndian : RDIError_LittleEndian;
    }
    if ((requested == 0 && bigEndian) || (requested == 1 && !bigEndian)) {
        return RDIError_WrongByteSex;
    }
    return RDIError_NoError;
}

int32_t RdiSession::beginDownload() {
    runCommandFile("preload.cmd", "Processing preload commands\n");
    int32_t rc = connection_.files().download().init(0, true);
    if (rc != 0) return rc;
    module_.downloadResult = 0;
    module_.failingAddress = 0;
    module_.downloadBytes = 0;
    module_.bufferedLength = 0;
    module_.downloadStartMs = connection_.link().clock().nowMs();
    module_.downloadActive = true;
    return 0;
}

int32_t RdiSession::sendDownload(uint32_t address, const uint8_t* data, uint32_t count) {
    files::Download& download = connection_.files().download();
    for (uint32_t done = 0; done < count;) {
        const uint32_t piece = std::min(count - done, kDownloadPiece);
        int32_t rc = download.send(address + done, static_cast<uint16_t>(piece), data + done);
        if (rc != 0) return rc;
        done += piece;
    }
    return 0;
}

void RdiSession::endDownload() {
    if (!module_.downloadActive) return;
    // Whatever this last send reports, the end request collects the download's result.
    sendDownload(module_.bufferedAddress, module_.buffer, module_.bufferedLength);
    module_.bufferedLength = 0;
    uint32_t detail = 0;
    module_.downloadResult = connection_.files().download().end(detail);
    module_.failingAddress = detail;
    module_.downloadActive = false;
    if (module_.downloadResult != 0) {
        log("TOV: Download failed (Addr = 0x%08lx)\n", static_cast<unsigned long>(detail));
    } else {
        uint64_t elapsed = connection_.link().clock().nowMs() - module_.downloadStartMs;
        if (elapsed == 0) elapsed = 1;
        const uint64_t rate = uint64_t{module_.downloadBytes} * 1000 / elapsed;
        log("\nDownload of %lu bytes passed (%lu bytes/s)\n",
            static_cast<unsigned long>(module_.downloadBytes), static_cast<unsigned long>(rate));
    }
    runCommandFile("postload.cmd", "Processing postload commands\n");
}

int32_t RdiSession::downloadWrite(uint32_t address, const uint8_t* data, uint32_t count) {
    // Nothing to buffer or send; the debugger's pointer need not point anywhere.
    if (count == 0) return 0;
    RDI_ModuleRecord& m = module_;
    m.downloadBytes += count;
    const bool follows = m.bufferedLength == 0 || address == m.bufferedAddress + m.bufferedLength;
    if (follows && m.bufferedLength + uint64_t{count} <= RDI_ModuleRecord::kBufferSize) {
        if (m.bufferedLength == 0) m.bufferedAddress = address;
        std::memcpy(m.buffer + m.bufferedLength, data, count);
        m.bufferedLength += count;
        return 0;
    }
    int32_t rc = 0;
    if (m.bufferedLength > 0) {
        rc = sendDownload(m.bufferedAddress, m.buffer, m.bufferedLength);
        m.bufferedLength = 0;
    }
    if (rc == 0) {
        if (count >= RDI_ModuleRecord::kBufferSize) {
            rc = sendDownload(address, data, count);
        } else {
            m.bufferedAddress = address;
            std::memcpy(m.buffer, data, count);
            m.bufferedLength = count;
        }
    }
    if (rc != 0) endDownload();
    return rc;
}

void RdiSession::runCommandFile(const char* name, const char* announcement) {
    const size_t pathLength = std::strlen(module_.commandPath);
    if (pathLength + std::strlen(name) > kCommandPathLimit) {
        log("### Error: command file name longer than %zu characters: %s%s\n", kCommandPathLimit,
            module_.commandPath, name);
        return;
    }
    const std::string path = std::string(module_.commandPath) + name;
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return;
    log("%s", announcement);
    forEachCommand(file, [this](const char* line) {
        log("%s\n", line);
        char reply[kReplyCapacity] = {};
        connection_.target().directCommand(line, kReplyCapacity, reply);
        log("%s\n", reply);
    });
    std::fclose(file);
}

}  // namespace tov::rdi

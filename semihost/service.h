// The semihosting service: carries out one call of a target program that stopped on the
// semihosting instruction, on the host (console and files, time, commands, the program's
// environment).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "semihost/file_root.h"
#include "semihost/file_table.h"
#include "semihost/heap_info.h"
#include "semihost/target_access.h"

namespace tov::semihost {

// Operation numbers (r0 of the call).
enum Operation : uint32_t {
    kOpen = 1,
    kClose = 2,
    kWriteChar = 3,
    kWriteString = 4,
    kWrite = 5,
    kRead = 6,
    kReadChar = 7,
    kIsError = 8,
    kIsTerminal = 9,
    kSeek = 10,
    kFileLength = 12,
    kTemporaryName = 13,
    kRemove = 14,
    kRename = 15,
    kClock = 16,
    kTime = 17,
    kSystem = 18,
    kErrno = 19,
    kCommandLine = 21,
    kHeapInfo = 22,
    kReportException = 24,
    kExitExtended = 32,
    kElapsed = 48,
    kTickFrequency = 49,
};

// How a call ended.
enum class Status {
    Done,          // served: the program may go on
    Interrupted,   // a console read found the stop request: nothing was written back; the
                   // caller moves the PC back so that the call is made again on resumption
    BadCall,       // a parameter out of range or an unknown operation; the target stays halted
    Stopped,       // the program reported an exception or its end
    AccessFailed,  // a target memory or register access failed (see Result::error)
};

struct Result {
    Status status = Status::Done;
    int error = 0;            // AccessFailed: the access path's code
    uint32_t reason = 0;      // Stopped: the reason code the program gave
    std::optional<int> exit;  // Stopped by an application exit that carried its status
};

// The RDI stop code of a result other than AccessFailed: 0, 3 (software interrupt) or 163
// (target stopped).
int rdiCode(const Result& result);

// What a service is told when it is made (each also has its setter below).
struct ServiceOptions {
    // The folder the program's host files are confined to (see FileRoot); "": the names are
    // the host's own, as given.
    std::string fileRoot;
    // Whether the program may run host commands (system call); refused calls give -1.
    bool hostCommands = true;
    // The heap info answer; nullopt: derived from the top of memory.
    std::optional<HeapInfo> heap;
};

// The service with the host state that lasts across calls: open files, the last host error
// number, the command line, the top of memory and the target's byte order.
class Service {
public:
    static constexpr size_t kMaxName = 260;
    static constexpr size_t kMaxCommandLine = 255;
    static constexpr uint32_t kDefaultTopOfMemory = 0x80000;
    // Data move between host and target in pieces of this size at most.
    static constexpr size_t kPiece = 4096;
    // The reason code of a normal end of the program.
    static constexpr uint32_t kApplicationExit = 0x20026;

    Service(Console& console, const std::atomic<bool>& stopRequest,
            const ServiceOptions& options = {});

    // Serves the call the target stopped on.
    Result serve(TargetAccess& target);

    void setBigEndian(bool bigEndian) { bigEndian_ = bigEndian; }
    // Cut at kMaxCommandLine characters.
    void setCommandLine(const std::string& text);
    const std::string& commandLine() const { return commandLine_; }
    void setTopOfMemory(uint32_t top) { topOfMemory_ = top; }
    uint32_t topOfMemory() const { return topOfMemory_; }
    int lastErrno() const { return lastErrno_; }
    // The heap info answer: the given words, or with nullopt 0, top - 0x4000, top, top - 0x4000.
    void setHeap(const std::optional<HeapInfo>& heap) { heap_ = heap; }
    HeapInfo heapInfo() const;
    // Confines the program's file names to `root`: names are taken beneath it, and a name that
    // leads out of it (by "..", an absolute path or a link) fails with -1. Empty: the names are
    // the host's own, as given. Returns why the root cannot be used (every file operation then
    // fails), or "" when it can; the caller tells the user once.
    std::string setFileRoot(const std::string& root) { return root_.set(root); }
    // Why the root given last cannot be used, or "".
    const std::string& fileRootProblem() const { return root_.problem(); }
    // Whether the program may run host commands (system call); refused calls give -1.
    void setSystemAllowed(bool allowed) { systemAllowed_ = allowed; }
    // Closes every host file the program left open.
    void closeFiles() { files_.closeAll(); }

private:
    // One call's work; its result value for r0 when it has one.
    struct Call;

    Result dispatch(Call& call);
    Result open(Call& call);
    Result write(Call& call);
    Result read(Call& call);
    Result readConsole(Call& call, uint32_t buffer, uint32_t length);
    Result temporaryName(Call& call);
    Result fileLength(Call& call);
    Result commandLineCall(Call& call);
    Result heapInfoCall(Call& call);
    Result nameCall(Call& call);

    uint32_t word(std::span<const uint8_t> bytes, size_t index) const;
    void putWord(std::span<uint8_t> bytes, size_t index, uint32_t value) const;
    void saveErrno() { lastErrno_ = errno; }

    Console& console_;
    const std::atomic<bool>& stopRequest_;
    FileTable files_;
    int lastErrno_ = 0;
    std::string commandLine_;
    uint32_t topOfMemory_ = kDefaultTopOfMemory;
    bool bigEndian_ = false;
    FileRoot root_;
    std::optional<HeapInfo> heap_;
    bool systemAllowed_ = true;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace tov::semihost

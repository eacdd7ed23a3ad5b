// The gdbserver command of tov: a GDB remote protocol server over the probe, serving one client
// at a time until it is stopped (or after the first client with --once), and programming an
// external flash bank for GDB's load when given one. A client that comes while another is
// served is turned away at once.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "arguments.h"
#include "commands.h"
#include "file_transfer.h"
#include "files/flash_workflow.h"
#include "gdb/api_probe.h"
#include "gdb/console.h"
#include "gdb/memory_map.h"
#include "gdb/points.h"
#include "gdb/session.h"
#include "gdb/tcp_server.h"
#include "gdb_flash.h"
#include "output.h"
#include "probe_session.h"
#include "semihost/service.h"

namespace tov::cli {
namespace {

constexpr const char* kDefaultListen = "127.0.0.1:3333";
constexpr std::string_view kSynopsis =
    "gdbserver [--listen ADDR:PORT] [--once] [--console gdb|terminal] "
    "[--semihosting-io server|gdb] [--detach-halt] [--semihosting-root DIR] [--semihosting-system] "
    "[--heap BASE,LIMIT,STACKBASE,STACKLIMIT] "
    "[--flash-base ADDR [--flash-size N] "
    "--type SETUP [--erase auto|chip|none] [--sector-size N] [--skip-unchanged] [--verify]]";
constexpr uint64_t kAddressSpace = 0x100000000ull;
constexpr FileOptions kFlashOptions{.type = true, .flash = true};

struct ServerArguments {
    std::string listen = kDefaultListen;
    bool once = false;
    bool forwardConsole = true;
    bool consoleGiven = false;
    // The program's console and file calls go to GDB (File-I/O) instead of the server's host.
    bool fileIo = false;
    std::string fileRoot;
    // The program's host commands run only when asked for: whoever reaches the port could
    // otherwise run commands as the server's user.
    bool systemAllowed = false;
    bool detachHalt = false;
    semihost::HeapInfo heap = semihost::kStackAtTopHeap;
    // The flash options as tov flash takes them, and where the flash is.
    FileCommandLine flashLine;
    std::optional<uint32_t> flashBase;
    std::optional<uint32_t> flashSize;
};

// The flash GDB loads into: the set-up, its options and the range the memory map marks.
struct ServerFlash {
    FlashSetup setup;
    FlashOptions options;
    uint32_t unit = 0;
    uint32_t base = 0;
    uint64_t size = 0;
};

ServerArguments parseServerArguments(const Invocation& call) {
    ServerArguments parsed;
    for (size_t i = 0; i < call.args.size(); ++i) {
        const std::string& word = call.args[i];
        const bool valued = word == "--listen" || word == "--console" ||
                            word == "--semihosting-root" || word == "--flash-base" ||
                            word == "--flash-size" || word == "--heap" ||
                            word == "--semihosting-io";
        if (valued && i + 1 == call.args.size()) failUsage(call, word + " needs a value");
        if (word == "--listen") {
            parsed.listen = call.args[++i];
        } else if (word == "--semihosting-root") {
            parsed.fileRoot = call.args[++i];
            if (!std::filesystem::is_directory(parsed.fileRoot))
                failUsage(call, "--semihosting-root: no directory " + parsed.fileRoot);
        } else if (word == "--heap") {
            std::string problem;
            const auto heap = semihost::parseHeapInfo(call.args[++i], problem);
            if (!heap) failUsage(call, "--heap: " + problem);
            parsed.heap = *heap;
        } else if (word == "--no-semihosting-system" || word == "--semihosting-system") {
            parsed.systemAllowed = word == "--semihosting-system";
        } else if (word == "--detach-halt") {
            parsed.detachHalt = true;
        } else if (word == "--once") {
            parsed.once = true;
        } else if (word == "--console") {
            const std::string& where = call.args[++i];
            if (where != "gdb" && where != "terminal") failUsage(call, "--console is gdb or terminal");
            parsed.forwardConsole = where == "gdb";
            parsed.consoleGiven = true;
        } else if (word == "--semihosting-io") {
            const std::string& who = call.args[++i];
            if (who != "gdb" && who != "server")
                failUsage(call, "--semihosting-io is server or gdb");
            parsed.fileIo = who == "gdb";
        } else if (word == "--flash-base") {
            parsed.flashBase = numberArgument(call, "flash-base", call.args[++i], 0xFFFFFFFF);
        } else if (word == "--flash-size") {
            parsed.flashSize = numberArgument(call, "flash-size", call.args[++i], 0xFFFFFFFF);
        } else if (takeFileOption(call, i, kFlashOptions, parsed.flashLine)) {
            continue;
        } else {
            failUsage(call, "expected " + std::string(kSynopsis));
        }
    }
    // GDB resolves the names on its own host, where the server's folder means nothing.
    if (parsed.fileIo && !parsed.fileRoot.empty())
        failUsage(call,
                  "--semihosting-root does not apply to --semihosting-io gdb: GDB opens "
                  "the files, relative to its own folder");
    if (parsed.fileIo && parsed.consoleGiven && !parsed.forwardConsole)
        failUsage(call,
                  "--console terminal does not apply to --semihosting-io gdb: the "
                  "console is GDB's");
    return parsed;
}

// The flash of the server, checked before anything is connected; nullopt without --flash-base.
std::optional<ServerFlash> serverFlash(const Invocation& call, const ServerArguments& arguments) {
    const FileCommandLine& line = arguments.flashLine;
    if (!arguments.flashBase) {
        if (line.typeText || line.flashWorkflowGiven || line.flash.verify || arguments.flashSize)
            failUsage(call,
                      "flash through GDB needs --flash-base ADDR: where the flash bank starts");
        return std::nullopt;
    }
    if (line.flash.dryRun)
        failUsage(call, "--dry-run is for tov flash: the server programs what GDB loads");
    ServerFlash flash;
    flash.setup = requireFlashSetup(call, line);
    if (flash.setup.kind != FlashKind::kExternal) {
        failUsage(call,
                  "the server programs external flash (--type TYPE,CHIPSIZE,BUSBITS,"
                  "WORKSPACE); program on-chip flash with tov flash");
    }
    flash.options = files::optionsForSetup(flash.setup, line.flash, line.eraseNamed);
    flash.unit = files::eraseUnitSize(flash.setup, flash.options);
    if (flash.unit == 0)
        failUsage(call, "the sector size of this set-up is unknown: give --sector-size N");
    flash.base = *arguments.flashBase;
    flash.size = arguments.flashSize ? *arguments.flashSize
                                     : files::eraseUnitSize(flash.setup, {.erase = EraseChoice::kChip});
    char unit[16];
    std::snprintf(unit, sizeof unit, "0x%X", static_cast<unsigned>(flash.unit));
    if (flash.size == 0 || flash.base % flash.unit != 0 || flash.size % flash.unit != 0) {
        failUsage(call, std::string("--flash-base and the flash size must be multiples of the ") +
                            (flash.options.erase == EraseChoice::kChip ? "chip bank" : "sector") +
                            " size " + unit);
    }
    if (flash.base + flash.size > kAddressSpace)
        failUsage(call, "the flash runs past address 0xFFFFFFFF");
    return flash;
}

const char* endText(gdb::SessionEnd end) {
    switch (end) {
    case gdb::SessionEnd::Detached: return "detached";
    case gdb::SessionEnd::Killed: return "killed the session";
    case gdb::SessionEnd::Gone: return "went away";
    }
    return "ended";
}

// Turns away the clients that come while a session is served, until `finish` is called. One
// that comes while the session is ending (within half a second of its end) is kept for the
// next session instead.
class BusyGuard {
public:
    BusyGuard(gdb::Listener& listener, const std::string& holder) : holder_(holder) {
        thread_ = std::thread([this, &listener] {
            while (!done_) {
                const int client = listener.accept(100);
                if (client < 0) continue;
                for (int wait = 0; wait < 10 && !done_; ++wait)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (done_) {
                    next_ = client;
                    return;
                }
                const std::string peer = gdb::peerName(client);
                std::printf("gdbserver: refused %s: the probe is in use by %s\n", peer.c_str(),
                            holder_.c_str());
                std::fflush(stdout);
                gdb::refuseClient(client, "the probe is in use by the GDB client at " + holder_);
            }
        });
    }
    ~BusyGuard() { finish(); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

    // Ends the guard; a client that came as the session ended, or -1.
    int finish() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        const int next = next_;
        next_ = -1;
        return next;
    }

private:
    std::string holder_;
    std::atomic<bool> done_{false};
    int next_ = -1;
    std::thread thread_;
};

}  // namespace

void checkGdbserverArguments(const Invocation& call) {
    (void)serverFlash(call, parseServerArguments(call));
}

int runGdbserver(const Invocation& call) {
    const ServerArguments arguments = parseServerArguments(call);
    const std::optional<ServerFlash> flash = serverFlash(call, arguments);
    // The port is taken before the probe is opened: a bad or busy one is the command line's
    // fault and costs no probe traffic.
    gdb::Listener listener;
    if (const std::string problem = listener.listen(arguments.listen); !problem.empty())
        failUsage(call, "--listen: " + problem);
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());

    gdb::ApiProbe probe;
    if (const size_t left = gdb::removeLeftoverPoints(probe); left > 0)
        std::printf("gdbserver: removed %zu points left in the probe by an earlier session\n",
                    left);
    std::printf("gdbserver: listening on %s\n", listener.address().c_str());
    if (!listener.loopback()) {
        std::printf("gdbserver: warning: listening on %s: anyone who can reach it controls the "
                    "target%s\n",
                    listener.address().c_str(),
                    arguments.systemAllowed ? ", host files and host commands" : " and host files");
    }
    gdb::LoadedRegisters loaded;
    gdb::SessionOptions options;
    options.loaded = &loaded;
    options.detachHalt = arguments.detachHalt;
    options.fileIo = arguments.fileIo;
    std::optional<GdbFlash> programmer;
    if (flash) {
        programmer.emplace(flash->setup, flash->options, flash->unit);
        options.memoryMap = gdb::regionsAroundFlash(flash->base, flash->size, flash->unit);
        options.flash = &*programmer;
        std::printf("gdbserver: flash at 0x%08X-0x%08llX in %s of 0x%X bytes\n",
                    static_cast<unsigned>(flash->base),
                    static_cast<unsigned long long>(flash->base + flash->size - 1),
                    flash->options.erase == EraseChoice::kChip ? "chip banks" : "sectors",
                    static_cast<unsigned>(flash->unit));
    }
    std::fflush(stdout);

    gdb::ServerConsole console;
    console.setForwarding(arguments.forwardConsole);
    std::atomic<bool> stopRequest{false};
    semihost::Service service(console, stopRequest,
                              {arguments.fileRoot, arguments.systemAllowed, arguments.heap});
    if (!service.fileRootProblem().empty())
        std::fprintf(stderr, "tov: gdbserver: %s\n", service.fileRootProblem().c_str());
    int waiting = -1;
    for (;;) {
        const int client = waiting >= 0 ? waiting : listener.accept();
        waiting = -1;
        if (client < 0) return reportFailure("gdbserver: cannot accept a client");
        const std::string peer = gdb::peerName(client);
        std::printf("gdbserver: client %s connected\n", peer.c_str());
        std::fflush(stdout);
        gdb::SessionEnd end;
        {
            BusyGuard guard(listener, peer);
            gdb::SocketChannel channel(client);
            console.attach(&channel);
            gdb::Session gdbSession(probe, service, stopRequest, channel, options);
            // The client's Ctrl-C reaches a program that waits for console input.
            console.setInterruptCheck([&gdbSession] { return gdbSession.interruptRequested(); });
            end = gdbSession.serve();
            console.setInterruptCheck(nullptr);
            console.attach(nullptr);
            waiting = guard.finish();
        }
        service.closeFiles();
        std::printf("gdbserver: client %s\n", endText(end));
        std::fflush(stdout);
        if (arguments.once) {
            if (waiting >= 0) ::close(waiting);
            return kExitOk;
        }
    }
}

}  // namespace tov::cli

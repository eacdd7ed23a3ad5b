// The gdbserver command of tov: a GDB remote protocol server over the probe, serving one client
// at a time until it is stopped (or after the first client with --once).
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "gdb/console.h"
#include "gdb/probe.h"
#include "gdb/session.h"
#include "gdb/tcp_server.h"
#include "output.h"
#include "probe_session.h"
#include "semihost/service.h"

namespace tov::cli {
namespace {

constexpr const char* kDefaultListen = "127.0.0.1:3333";
constexpr std::string_view kSynopsis =
    "gdbserver [--listen ADDR:PORT] [--once] [--console gdb|terminal] "
    "[--semihosting-root DIR] [--no-semihosting-system]";

struct ServerArguments {
    std::string listen = kDefaultListen;
    bool once = false;
    bool forwardConsole = true;
    std::string fileRoot;
    bool systemAllowed = true;
};

ServerArguments parseServerArguments(const Invocation& call) {
    ServerArguments parsed;
    for (size_t i = 0; i < call.args.size(); ++i) {
        const std::string& word = call.args[i];
        const bool valued =
            word == "--listen" || word == "--console" || word == "--semihosting-root";
        if (valued && i + 1 == call.args.size()) failUsage(call, word + " needs a value");
        if (word == "--listen") {
            parsed.listen = call.args[++i];
        } else if (word == "--semihosting-root") {
            parsed.fileRoot = call.args[++i];
            if (!std::filesystem::is_directory(parsed.fileRoot))
                failUsage(call, "--semihosting-root: no directory " + parsed.fileRoot);
        } else if (word == "--no-semihosting-system") {
            parsed.systemAllowed = false;
        } else if (word == "--once") {
            parsed.once = true;
        } else if (word == "--console") {
            const std::string& where = call.args[++i];
            if (where != "gdb" && where != "terminal") failUsage(call, "--console is gdb or terminal");
            parsed.forwardConsole = where == "gdb";
        } else {
            failUsage(call, "expected " + std::string(kSynopsis));
        }
    }
    return parsed;
}

const char* endText(gdb::SessionEnd end) {
    switch (end) {
    case gdb::SessionEnd::Detached: return "detached";
    case gdb::SessionEnd::Killed: return "killed the session";
    case gdb::SessionEnd::Gone: return "went away";
    }
    return "ended";
}

}  // namespace

int runGdbserver(const Invocation& call) {
    const ServerArguments arguments = parseServerArguments(call);
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());

    gdb::Listener listener;
    if (const std::string problem = listener.listen(arguments.listen); !problem.empty())
        return reportFailure("gdbserver: " + problem);
    std::printf("gdbserver: listening on port %d\n", listener.port());
    std::fflush(stdout);

    gdb::ApiProbe probe;
    gdb::ServerConsole console;
    console.setForwarding(arguments.forwardConsole);
    std::atomic<bool> stopRequest{false};
    semihost::Service service(console, stopRequest);
    service.setFileRoot(arguments.fileRoot);
    service.setSystemAllowed(arguments.systemAllowed);
    for (;;) {
        const int client = listener.accept();
        if (client < 0) return reportFailure("gdbserver: cannot accept a client");
        std::printf("gdbserver: client connected\n");
        std::fflush(stdout);
        gdb::SocketChannel channel(client);
        console.attach(&channel);
        gdb::Session gdbSession(probe, service, stopRequest, channel);
        const gdb::SessionEnd end = gdbSession.serve();
        console.attach(nullptr);
        service.closeFiles();
        std::printf("gdbserver: client %s\n", endText(end));
        std::fflush(stdout);
        if (arguments.once) return kExitOk;
    }
}

}  // namespace tov::cli
